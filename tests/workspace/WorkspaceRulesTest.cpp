// The workspace's rules that need no Windows: its name, its drive, the logon
// command that removes it and how its tree is taken apart.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "sys/Path.h"
#include "workspace/LogonRemoval.h"
#include "workspace/TreeEntry.h"
#include "workspace/WorkspaceDrive.h"
#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(WorkspaceName, FifteenEvenLettersFromRandomBytes) {
  // 234 and above would favour the first letters: passed over. 233 is 'z'.
  EXPECT_EQ(WorkspaceNameFromBytes(std::vector<uint8_t>{234, 255, 25, 26, 233, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
            u"zazbcdefghijklm");
  EXPECT_FALSE(WorkspaceNameFromBytes(std::vector<uint8_t>(40, 250)));
  EXPECT_FALSE(WorkspaceNameFromBytes(std::vector<uint8_t>(14, 0)));
}

TEST(WorkspaceName, OnlyTheShapeCreateMakesIsAWorkspaceAndOnlyItsCommandNamesALeftover) {
  const std::u16string good = u"C:\\kqzmwtebhyalrvo";
  EXPECT_TRUE(IsWorkspacePath(good));
  EXPECT_TRUE(IsWorkspacePath(u"Z:\\aaaaaaaaaaaaaaa"));
  EXPECT_EQ(RemovalCommand(good), u"cmd /C rmdir /S /Q " + good);
  EXPECT_EQ(LeftoverWorkspace(RemovalCommand(good)), good);
  for (const std::u16string other :
       {u"", u" ", u"C:", u"C:\\", u"C:\\Windows", u"C:\\kqzmwtebhyalrvo\\", u"C:\\kqzmwtebhyalrvo\\x",
        u"C:\\kqzmwtebhyalrv", u"C:\\kqzmwtebhyalrvoo", u"C:\\kqzmwtebHyalrvo", u"c:\\kqzmwtebhyalrvo",
        u"C:/kqzmwtebhyalrvo", u" C:\\kqzmwtebhyalrvo", u"C:\\kqzmwtebhyalrvo & del x"}) {
    SCOPED_TRACE(Narrow(other));
    EXPECT_FALSE(IsWorkspacePath(other));
    EXPECT_FALSE(LeftoverWorkspace(u"cmd /C rmdir /S /Q " + other));
  }
  EXPECT_FALSE(LeftoverWorkspace(u"CMD /C rmdir /S /Q " + good));
  EXPECT_FALSE(LeftoverWorkspace(good));
}

TEST(LogonRemoval, AnotherWorkspacesValueIsMovedNeverCarriedOutAndARunWithdrawsOnlyItsOwn) {
  const std::u16string own = u"C:\\kqzmwtebhyalrvo", mine = RemovalCommand(own);
  const std::u16string other = u"cmd /C rmdir /S /Q D:\\abcdefghijklmno";
  struct Keep {
    const char* what;
    std::u16string fixedValue;
    std::optional<RunOnceEntry> kept;
  };
  const Keep keeps[] = {
      {"none", u"", std::nullopt},
      {"another workspace's", other, RunOnceEntry{u"TavixQF.abcdefghijklmno", other}},
      {"this run's own", mine, std::nullopt},
      {"a folder of no workspace's shape", u"cmd /C rmdir /S /Q C:\\Users", std::nullopt},
      {"more than the command", other + u" & del x", std::nullopt},
  };
  for (const Keep& k : keeps) EXPECT_EQ(RegistrationToKeep(k.fixedValue, own), k.kept) << k.what;

  struct Withdraw {
    const char* what;
    RunOnceEntry value;
    bool withdrawn;
  };
  const Withdraw withdraws[] = {
      {"own under the fixed name", {u"TavixQF", mine}, true},
      {"own, moved by a later run", {u"TavixQF.kqzmwtebhyalrvo", mine}, true},
      {"another run's", {u"TavixQF", other}, false},
      {"another run's, moved", {u"TavixQF.abcdefghijklmno", other}, false},
      {"own command with more", {u"TavixQF", mine + u" "}, false},
      {"another program's name", {u"TavixQFx", mine}, false},
      {"another workspace's moved name", {u"TavixQF.abcdefghijklmno", mine}, false},
  };
  for (const Withdraw& w : withdraws) EXPECT_EQ(IsOwnRegistration(w.value, own), w.withdrawn) << w.what;
  EXPECT_FALSE(IsOwnRegistration({u"TavixQF", u"cmd /C rmdir /S /Q "}, u"")) << "no path, no registration";
}

TEST(WorkspaceName, ExistingNamesAreNeverTakenOverAndTheAttemptsAreBounded) {
  struct Case {
    std::vector<CreateOutcome> answers;  // then Created
    bool made;
    std::size_t offered;
  };
  const std::vector<CreateOutcome> full(kMaxNameAttempts, CreateOutcome::AlreadyExists);
  const Case cases[] = {{{}, true, 1},
                        {{CreateOutcome::AlreadyExists, CreateOutcome::AlreadyExists}, true, 3},
                        {std::vector<CreateOutcome>(full.begin() + 1, full.end()), true, kMaxNameAttempts},
                        {full, false, kMaxNameAttempts},
                        {{CreateOutcome::AlreadyExists, CreateOutcome::Failed}, false, 2}};
  for (const Case& c : cases) {
    int next = 0;
    std::vector<std::u16string> offered;
    const auto path = CreateUniqueWorkspace(
        u'D',
        [&] {
          const int n = next++;
          return std::u16string(kWorkspaceNameLength - 2, u'a') + char16_t(u'a' + n / 26) + char16_t(u'a' + n % 26);
        },
        [&](const std::u16string& p) {
          offered.push_back(p);
          return offered.size() <= c.answers.size() ? c.answers[offered.size() - 1] : CreateOutcome::Created;
        });
    EXPECT_EQ(path.has_value(), c.made);
    EXPECT_EQ(offered.size(), c.offered);
    EXPECT_EQ(path.value_or(offered.back()), offered.back());
    EXPECT_EQ(offered.front(), u"D:\\aaaaaaaaaaaaaaa");
    EXPECT_EQ(std::set<std::u16string>(offered.begin(), offered.end()).size(), offered.size());
  }
}

TEST(WorkspaceDrive, TheFixedDriveWithTheMostRoomWinsAndTheStubMustFit) {
  constexpr uint32_t kRemovable = 2, kRemote = 4, kOptical = 5, kRamDisk = 6;
  auto fixed = [](char16_t letter, uint64_t free) { return DriveMeasurement{letter, true, kDriveFixed, free}; };
  struct Case {
    std::vector<DriveMeasurement> drives;
    char16_t chosen;  // '-': none
  };
  const Case cases[] = {
      {{}, u'-'},
      {{fixed(u'C', 1000), {u'D', true, kOptical, 5000}}, u'C'},
      {{{u'A', true, kRemovable, 900}, {u'E', true, kRemote, 900}, {u'R', true, kRamDisk, 900}}, u'-'},
      {{{u'A', true, kRemovable, 900}, fixed(u'F', 10), {u'R', true, kRamDisk, 900}}, u'F'},
      {{fixed(u'C', 100), fixed(u'D', 300), fixed(u'E', 200)}, u'D'},
      {{fixed(u'C', 100), fixed(u'D', 101)}, u'D'},
      {{fixed(u'E', 500), fixed(u'D', 500)}, u'D'},  // the lower letter on equal room
      {{fixed(u'C', 0)}, u'-'},
      {{fixed(u'C', 0), fixed(u'D', 1)}, u'D'},
      {{{u'C', false, kDriveFixed, 9000}, fixed(u'D', 10)}, u'D'},  // a failed query never wins
  };
  for (const Case& c : cases) {
    const auto drive = ChooseWorkspaceDrive(c.drives);
    EXPECT_EQ(drive ? drive->letter : u'-', c.chosen) << "case " << (&c - cases);
    for (const auto& d : c.drives) {
      EXPECT_TRUE(!drive || d.letter != c.chosen || drive->totalFree == d.totalFree);
    }
  }
  EXPECT_TRUE(HasRoomFor(1000, 1000));
  EXPECT_TRUE(HasRoomFor(1001, 1000));
  EXPECT_FALSE(HasRoomFor(999, 1000));
}

TEST(TreeEntry, LinksAreRemovedNeverEnteredAndEverythingElseGoesWhateverItsAttributes) {
  constexpr uint32_t kDir = kAttributeDirectory, kLink = kAttributeReparsePoint, kProtected = 0x1 | 0x2 | 0x4 | 0x20;
  struct Case {
    const char16_t* name;
    uint32_t attributes;
    TreeAction action;
  };
  const Case cases[] = {
      {u".", kDir, TreeAction::Skip},
      {u"..", kDir | 0x2, TreeAction::Skip},
      {u"...", kDir, TreeAction::DeleteSubtree},
      {u"..x", 0x20, TreeAction::RemoveFile},
      {u"setup.exe", 0x80, TreeAction::RemoveFile},
      {u"setup.exe", kProtected, TreeAction::RemoveFile},
      {u"data", kDir | kProtected, TreeAction::DeleteSubtree},
      {u"junction", kDir | kLink, TreeAction::RemoveDirectoryLink},
      {u"junction", kDir | kLink | kProtected, TreeAction::RemoveDirectoryLink},
      {u"link.txt", kLink | kProtected, TreeAction::RemoveFileLink},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyTreeEntry(c.name, c.attributes), c.action) << Narrow(c.name);
}

TEST(TreeEntry, PathsThatDoNotFitAreRefusedNotCut) {
  const std::u16string directory(250, u'd');
  EXPECT_EQ(EntryPath(directory, std::u16string(8, u'n'))->size(), sys::kMaxPathUnits - 1);
  EXPECT_FALSE(EntryPath(directory, std::u16string(9, u'n')));
  EXPECT_TRUE(SearchPattern(std::u16string(255, u'd')));
  EXPECT_FALSE(SearchPattern(std::u16string(256, u'd')));
  for (const std::u16string& refused :
       {std::u16string(), std::u16string(u" "), std::u16string(u"  "), std::u16string(sys::kMaxPathUnits, u'd')}) {
    EXPECT_FALSE(CanDeleteTree(refused)) << refused.size();
  }
  EXPECT_TRUE(CanDeleteTree(std::u16string(sys::kMaxPathUnits - 1, u'd')));
}

}  // namespace
}  // namespace qf
