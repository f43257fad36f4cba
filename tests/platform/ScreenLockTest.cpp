// The lock on dismiss: the tool is started without waiting, and a start that fails says why.

#include "ScreenLock.h"
#include "TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(ScreenLock, ALockToolThatCannotStartIsLoggedWithTheReason) {
    CapturedLog captured;
    LoginctlLock("/nonexistent/loginctl").lock();
    const QByteArray log = captured.finish();
    EXPECT_TRUE(log.startsWith("solvane: lock: could not run loginctl lock-session: ")) << log.constData();
    EXPECT_GT(log.trimmed().size(),
              qsizetype(strlen("solvane: lock: could not run loginctl lock-session: ")));
}
