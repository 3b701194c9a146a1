#pragma once

#include "campaign_view.h"

#include <QString>

namespace tramelo::test {

// The icon of a message box as a word, for the tests' readable call logs.
inline QString iconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        return QStringLiteral("none");
    case MessageIcon::Information:
        return QStringLiteral("information");
    case MessageIcon::Warning:
        return QStringLiteral("warning");
    case MessageIcon::Error:
        return QStringLiteral("error");
    case MessageIcon::Critical:
        return QStringLiteral("critical");
    case MessageIcon::Question:
        return QStringLiteral("question");
    }
    return QStringLiteral("?");
}

} // namespace tramelo::test
