#pragma once

#include <QMetaEnum>
#include <functional>
#include <optional>

#include "platform/systemerror.h"

// The coded text of the failure the operation throws (its code, arguments and reason), or none.
inline std::optional<platform::CodedText> codedFailure(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const platform::SystemError& e) {
        return e.coded();
    }
    return std::nullopt;
}

// The code of a failure's reason, or ServiceText where it gives none of its own.
inline platform::ErrorCode reasonOf(const platform::CodedText& failure) {
    return failure.reason ? failure.reason->code : platform::ErrorCode::ServiceText;
}

// The name of the innermost code of the failure the operation throws ("KeptCopyChanged",
// "IsSymbolicLink"), or an empty text when it throws none: a short, language-free column for
// data-driven tests.
inline QString innermostFailure(const std::function<void()>& operation) {
    const auto failure = codedFailure(operation);
    if (!failure) {
        return {};
    }
    const platform::CodedText* text = &*failure;
    while (text->reason) {
        text = text->reason.get();
    }
    return QString::fromLatin1(
        QMetaEnum::fromType<platform::ErrorCode>().valueToKey(int(text->code)));
}
