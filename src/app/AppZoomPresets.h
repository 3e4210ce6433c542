#pragma once
// The zoom texts offered by the floating bar's zoom box.

#include <QStringList>

inline const QStringList ZOOM_PRESETS = {
    QStringLiteral("10%"),  QStringLiteral("25%"),  QStringLiteral("50%"),  QStringLiteral("75%"),
    QStringLiteral("100%"), QStringLiteral("125%"), QStringLiteral("150%"), QStringLiteral("200%"),
    QStringLiteral("300%"), QStringLiteral("400%")};
