// Why a mission failed, in the normal program (not the debug one): the
// Progress cell's tooltip, kept in the settings file across a restart.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "support/ProbeProcess.h"
#include "support/QtTestApp.h"

namespace quillmarsh {

TEST(FailureReason, ShownAsTheTooltipAndKeptAcrossARestart) {
  EnsureQtApp();
  AppFolder app;
  UseFakeDownloader(app, "refused", "out <Go>\\nERROR: HTTP Error 403: Forbidden\\n\n");
  {
    ProbeProcess first(app, {QStringLiteral("--add"), QStringLiteral("http://v/refused")});
    ASSERT_TRUE(first.WaitFor("ROW\t0\t[Error in download]")) << first.out.constData();
    EXPECT_TRUE(first.out.contains("WHY\t0\tHTTP Error 403: Forbidden")) << first.out.constData();
    first.Signal(SIGTERM);  // closes as a confirmed close
    ASSERT_TRUE(first.WaitForEnd(10000));
  }
  EXPECT_NE(ReadFile(app.iniPath()).find("\r\nreason=HTTP Error 403: Forbidden\r\n"),
            std::string::npos);

  ProbeProcess second(app, {QStringLiteral("--quit-when-shown")});
  ASSERT_TRUE(second.WaitForEnd(20000));
  EXPECT_TRUE(second.out.contains("ROW\t0\t[Error in download]")) << second.out.constData();
  EXPECT_TRUE(second.out.contains("WHY\t0\tHTTP Error 403: Forbidden")) << second.out.constData();
}

}  // namespace quillmarsh
