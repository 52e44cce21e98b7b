#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

TEST(WorkspaceName, FifteenEvenLettersFromRandomBytes) {
  std::vector<uint8_t> bytes;
  for (uint8_t b = 0; b < 15; ++b) bytes.push_back(b);
  EXPECT_EQ(WorkspaceNameFromBytes(bytes), u"abcdefghijklmno");
  // 234 and above would favour the first letters: passed over. 233 is 'z'.
  bytes = {234, 255, 25, 26, 233, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  EXPECT_EQ(WorkspaceNameFromBytes(bytes), u"zazbcdefghijklm");
  EXPECT_FALSE(WorkspaceNameFromBytes(std::vector<uint8_t>(40, 250)));
  EXPECT_FALSE(WorkspaceNameFromBytes(std::vector<uint8_t>(14, 0)));
}

TEST(WorkspacePath, OnlyTheShapeCreateReturnsIsAWorkspacePath) {
  EXPECT_TRUE(IsWorkspacePath(u"C:\\kqzmwtebhyalrvo"));
  EXPECT_TRUE(IsWorkspacePath(u"Z:\\aaaaaaaaaaaaaaa"));
  EXPECT_FALSE(IsWorkspacePath(u" "));
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

// Names "aaaaaaaaaaaaaaa", "baaaaaaaaaaaaaa", ... one per call.
struct CountingNames {
  int next = 0;
  std::optional<std::u16string> operator()() {
    std::u16string name(kWorkspaceNameLength, u'a');
    name[0] = static_cast<char16_t>(u'a' + next++ % 26);
    name[1] = static_cast<char16_t>(u'a' + next / 26);
    return name;
  }
};

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
  const auto path = CreateUniqueWorkspace(u'D', CountingNames(), std::ref(creator));
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"D:\\aaaaaaaaaaaaaaa");
  EXPECT_EQ(creator.offered.size(), 1u);
}

TEST(WorkspaceCreation, ExistingNameIsNeverTakenOver) {
  ScriptedCreator creator({CreateOutcome::AlreadyExists, CreateOutcome::AlreadyExists});
  const auto path = CreateUniqueWorkspace(u'C', CountingNames(), std::ref(creator));
  CountingNames names;
  const std::u16string first = *names(), second = *names(), third = *names();
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"C:\\" + third);
  EXPECT_EQ(creator.offered, (std::vector<std::u16string>{u"C:\\" + first, u"C:\\" + second, u"C:\\" + third}));
}

TEST(WorkspaceCreation, GivesUpAfterBoundedNumberOfExistingNames) {
  ScriptedCreator creator(std::vector<CreateOutcome>(kMaxNameAttempts + 5, CreateOutcome::AlreadyExists));
  EXPECT_FALSE(CreateUniqueWorkspace(u'C', CountingNames(), std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), static_cast<std::size_t>(kMaxNameAttempts));
  EXPECT_EQ(std::set<std::u16string>(creator.offered.begin(), creator.offered.end()).size(), creator.offered.size());
}

TEST(WorkspaceCreation, LastAllowedAttemptStillSucceeds) {
  ScriptedCreator creator(std::vector<CreateOutcome>(kMaxNameAttempts - 1, CreateOutcome::AlreadyExists));
  EXPECT_TRUE(CreateUniqueWorkspace(u'C', CountingNames(), std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), static_cast<std::size_t>(kMaxNameAttempts));
}

TEST(WorkspaceCreation, OtherFailureOrNoNameEndsAtOnce) {
  ScriptedCreator creator({CreateOutcome::AlreadyExists, CreateOutcome::Failed});
  EXPECT_FALSE(CreateUniqueWorkspace(u'C', CountingNames(), std::ref(creator)));
  EXPECT_EQ(creator.offered.size(), 2u);
  ScriptedCreator unused;
  EXPECT_FALSE(CreateUniqueWorkspace(
      u'C', [] { return std::optional<std::u16string>(); }, std::ref(unused)));
  EXPECT_TRUE(unused.offered.empty());
}

}  // namespace
}  // namespace qf
