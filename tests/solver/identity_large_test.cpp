// The fast solver against the reference on the 64-cube, bit for bit after hundreds of ticks.
#include "tests/solver/identity_test.h"

namespace {

TEST(TickIdentity, Grid64AfterTwoHundredTicks) {
    identity::ExpectIdenticalAfterStirring(64, 64, 64, 200);
}

}  // namespace
