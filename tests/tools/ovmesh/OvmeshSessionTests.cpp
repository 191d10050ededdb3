#include <gtest/gtest.h>

#include <sstream>

#include "ovmesh/ToolError.h"
#include "ovmesh/commands/Commands.h"
#include "support/TestSupport.h"
#include "system/ovLog.h"

namespace ov::test {
namespace {

using ovmesh::Session;
using ovmesh::ToolError;

// What the library logs during a load or save is shown when it ends: errors
// that did not stop the work as warnings, those of work that failed as errors.
TEST(SessionTest, LibraryErrorsOfWorkThatSucceededShowAsWarnings) {
    std::ostringstream out, err;
    Session session({resourcesDir().string()}, out, err);
    // Work that logs an error, and then fails or not.
    const auto logging = [](const char* text, bool fails) {
        return [=](ovProgressNotifierInterface*) {
            ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true) << text;
            return fails ? throw ToolError("failed") : 0;
        };
    };
    session.withProgress("writing a", logging("kept going", false));
    EXPECT_THROW(session.withProgress("writing b", logging("gave up", true)), ToolError);
    EXPECT_EQ(err.str(), "warning: kept going\nerror: gave up\n");
}

}  // namespace
}  // namespace ov::test
