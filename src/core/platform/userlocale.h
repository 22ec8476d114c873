#pragma once

namespace platform {

inline constexpr int kLocaleJapanese = 1041;
inline constexpr int kLocaleEnglishUs = 1033;

// The user's default locale identifier, in Windows' numbering: 1041 when the user's system
// language is Japanese, 1033 otherwise (Windows reports its own value).
int userDefaultLocaleId();

}  // namespace platform
