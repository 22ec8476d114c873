#pragma once

class QCoreApplication;

// The window's texts in the user's language, by the rule the message table follows: Japanese
// when the user's default locale is Japanese, else English (the texts in the code). Qt's own
// texts (standard buttons) come from Qt's translations, ours from translations/nvbman_ja.ts,
// built into the program. Call once, before the first window is made. Returns false, after
// saying so once on stderr, when the Japanese texts could not be loaded: the window then
// speaks English.
bool installWindowTexts(QCoreApplication& app);
