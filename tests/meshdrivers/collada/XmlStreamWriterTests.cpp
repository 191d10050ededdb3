#include <gtest/gtest.h>

#include "collada/XmlStreamWriter.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

}  // namespace
}  // namespace ov::test
