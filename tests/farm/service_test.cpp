// The systemd unit of the farm, docs/farm/qxsim.service, as systemd reads
// it: systemd-analyze verify reports unknown settings and an ExecStart
// that is not executable, so the installed path of qxsim is replaced by
// the built one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "tests/support/KitRuns.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

char const* const k_systemd_analyze = "/usr/bin/systemd-analyze";
char const* const k_installed_qxsim = "ExecStart=/usr/bin/qxsim ";

TEST(FarmService, UnitPassesSystemdVerification) {
    if (::access(k_systemd_analyze, X_OK) != 0)
        GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd); the unit is not verified";
    std::string unit = TestSupport::readFile(std::string(QX_SOURCE_DIR) + "/docs/farm/qxsim.service");
    size_t const at = unit.find(k_installed_qxsim);
    ASSERT_NE(at, std::string::npos);
    unit.replace(at, std::string(k_installed_qxsim).size(), std::string("ExecStart=") + QXSIM_PATH + " ");
    TestSupport::TemporaryDirectory directory;
    std::string const path = directory.write("qxsim.service", unit);
    // Its man page is not installed in the build tree.
    TestSupport::Subprocess::Result const result =
        TestSupport::Subprocess(k_systemd_analyze).args({"verify", "--man=no", path}).run();
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
