#pragma once
// Small text measures shared by the recognition stages.

#include <QString>

// Letters and digits, ASCII or any Unicode letter or number beyond it.
int meaningfulCharCount(const QString& text);

// Share of upper-case letters among the letters; 0 without letters.
double uppercaseRatio(const QString& text);
