#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

bool OnlyLowerCaseLetters(const std::u16string& name) {
  for (char16_t c : name) {
    if (c < u'a' || c > u'z') return false;
  }
  return true;
}

TEST(WorkspaceName, GeneratorDrawsTheClassicSequence) {
  // The C runtime's rand() of one vendor uses the same generator; srand(1) gives these.
  NameGenerator generator(1);
  EXPECT_EQ(generator.NextValue(), 41u);
  EXPECT_EQ(generator.NextValue(), 18467u);
  EXPECT_EQ(generator.NextValue(), 6334u);
  EXPECT_EQ(generator.NextValue(), 26500u);
}

TEST(WorkspaceName, NamesFromAFixedSeed) {
  EXPECT_EQ(WorkspaceName(1), u"phqghumeaylnlfd");
  NameGenerator generator(1);
  EXPECT_EQ(generator.NextName(), u"phqghumeaylnlfd");
  EXPECT_EQ(generator.NextName(), u"xfircvscxggbwkf");
}

TEST(WorkspaceName, SameSeedSameNameOtherSeedOtherName) {
  EXPECT_EQ(WorkspaceName(1700000000u), WorkspaceName(1700000000u));
  EXPECT_NE(WorkspaceName(1700000000u), WorkspaceName(1700000001u));
}

TEST(WorkspaceName, FifteenLowerCaseLettersForAnySeed) {
  for (uint32_t seed : {0u, 1u, 2u, 0x7FFFu, 0x8000u, 1700000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    const std::u16string name = WorkspaceName(seed);
    EXPECT_EQ(name.size(), kWorkspaceNameLength) << seed;
    EXPECT_TRUE(OnlyLowerCaseLetters(name)) << seed;
  }
}

TEST(WorkspacePath, OnlyTheShapeCreateReturnsIsAWorkspacePath) {
  EXPECT_TRUE(IsWorkspacePath(u"C:\\kqzmwtebhyalrvo"));
  EXPECT_TRUE(IsWorkspacePath(u"Z:\\aaaaaaaaaaaaaaa"));
  EXPECT_FALSE(IsWorkspacePath(kNoWorkspace));
  EXPECT_FALSE(IsWorkspacePath(u""));
  EXPECT_FALSE(IsWorkspacePath(u"C:"));
  EXPECT_FALSE(IsWorkspacePath(u"C:\\"));
  EXPECT_FALSE(IsWorkspacePath(u"C:\\kqzmwtebhyalrvo\\"));
  EXPECT_FALSE(IsWorkspacePath(u"C:\\kqzmwtebhyalrv"));
  EXPECT_FALSE(IsWorkspacePath(u"C:\\kqzmwtebhyalrvoo"));
  EXPECT_FALSE(IsWorkspacePath(u"C:\\kqzmwtebHyalrvo"));
  EXPECT_FALSE(IsWorkspacePath(u"c:\\kqzmwtebhyalrvo"));
  EXPECT_FALSE(IsWorkspacePath(u"C:/kqzmwtebhyalrvo"));
}

// Records every path offered and answers from a script; Created once the script ends.
struct ScriptedCreator {
  explicit ScriptedCreator(std::vector<CreateOutcome> script = {}) : answers(std::move(script)) {}
  std::vector<CreateOutcome> answers;
  std::vector<std::u16string> offered;
  CreateOutcome operator()(const std::u16string& path) {
    offered.push_back(path);
    return offered.size() <= answers.size() ? answers[offered.size() - 1] : CreateOutcome::Created;
  }
};

TEST(WorkspaceCreation, FirstNewDirectoryIsTheWorkspace) {
  ScriptedCreator creator;
  const auto path = CreateUniqueWorkspace(u'D', 1, std::ref(creator));
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"D:\\phqghumeaylnlfd");
  EXPECT_EQ(creator.offered.size(), 1u);
}

TEST(WorkspaceCreation, ExistingNameIsNeverTakenOver) {
  ScriptedCreator creator({CreateOutcome::AlreadyExists, CreateOutcome::AlreadyExists});
  const auto path = CreateUniqueWorkspace(u'C', 1, std::ref(creator));
  NameGenerator names(1);
  const std::u16string first = names.NextName(), second = names.NextName(), third = names.NextName();
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"C:\\" + third);
  EXPECT_EQ(creator.offered, (std::vector<std::u16string>{u"C:\\" + first, u"C:\\" + second, u"C:\\" + third}));
}

TEST(WorkspaceCreation, GivesUpAfterBoundedNumberOfExistingNames) {
  ScriptedCreator creator(std::vector<CreateOutcome>(kMaxNameAttempts + 5, CreateOutcome::AlreadyExists));
  EXPECT_FALSE(CreateUniqueWorkspace(u'C', 7, std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), static_cast<std::size_t>(kMaxNameAttempts));
  EXPECT_EQ(std::set<std::u16string>(creator.offered.begin(), creator.offered.end()).size(), creator.offered.size());
}

TEST(WorkspaceCreation, LastAllowedAttemptStillSucceeds) {
  ScriptedCreator creator(std::vector<CreateOutcome>(kMaxNameAttempts - 1, CreateOutcome::AlreadyExists));
  EXPECT_TRUE(CreateUniqueWorkspace(u'C', 7, std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), static_cast<std::size_t>(kMaxNameAttempts));
}

TEST(WorkspaceCreation, OtherFailureEndsAtOnce) {
  ScriptedCreator creator({CreateOutcome::AlreadyExists, CreateOutcome::Failed});
  EXPECT_FALSE(CreateUniqueWorkspace(u'C', 7, std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), 2u);
}

}  // namespace
}  // namespace qf
