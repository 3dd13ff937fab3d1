// Every test of a program that links this file runs against a private registry, never the user's.
#include "Platform/Com/Registry.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

namespace {

auto* const privateRegistry = static_cast<quillgate::testing::PrivateRegistryEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new quillgate::testing::PrivateRegistryEnvironment));

TEST(TestProgram, UsesItsOwnRegistry) {
  EXPECT_EQ(quillgate::com::registry::RegistryPath(), privateRegistry->Registry().File());
  {
    const quillgate::testing::TempRegistry inner;
    EXPECT_EQ(quillgate::com::registry::RegistryPath(), inner.File());
  }
  // A test's own registry gives way to the program's again, not to the user's.
  EXPECT_EQ(quillgate::com::registry::RegistryPath(), privateRegistry->Registry().File());
}

}  // namespace
