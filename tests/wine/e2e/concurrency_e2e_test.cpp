// End-to-end tests of several corvel processes at once on one configuration under Wine. See
// harness.h for the helpers and an example.
#include "harness.h"

namespace corvel::e2e {
namespace {}  // namespace
}  // namespace corvel::e2e
