// The stored time-out of checking one certificate bounds the check.
#include "SigningTestSupport.h"
#include "core/OpensslChainCheck.h"

#include <gtest/gtest.h>

#include <QSettings>

TEST(RevocationTimeout, TheStoredSecondsBoundTheCheckWithinTheSettingsRange) {
  signingtest::resetSigningSettings(QStringLiteral("sign"));
  EXPECT_EQ(revocationCheckTimeoutMs(), 90000);
  const struct {
    QVariant stored;
    int ms;
  } cases[] = {{100, 100000}, {QStringLiteral(" 45 "), 45000}, {5, 20000}, {100000, 600000}, {QStringLiteral("soon"), 90000}};
  for (const auto& c : cases) {
    QSettings().setValue(QStringLiteral("signing/revocationTimeoutSec"), c.stored);
    EXPECT_EQ(revocationCheckTimeoutMs(), c.ms) << c.stored.toString().toStdString();
  }
  signingtest::resetSigningSettings(QStringLiteral("sign"));
}
