// Dial-up networking against the phonebook service that stands in for RAS, and the
// stand-in service itself: its phonebook file and the outcomes hosts rely on.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "phonebook.h"
#include <raserror.h>
#include "phonebook_service.h"
#include "ryinet.h"

namespace {

const HWND kIgnoredOwner = reinterpret_cast<HWND>(0xBADBAD);

class Dialup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(book_.installed()); }
    Phonebook book_;
};

std::string Filled(size_t n, char c) { return std::string(n, c); }

// ---- Entry names ------------------------------------------------------------------------

TEST_F(Dialup, AnEmptyPhonebookGivesAnEmptyText) {
    char names[64] = "stale";
    EXPECT_EQ(RyRasEnumE(0, names), 0);
    EXPECT_STREQ(names, "");
}

TEST_F(Dialup, EntriesComeInServiceOrderEachFollowedByASemicolon) {
    book_.add({"Office", "u1", "p1", true});
    book_.add({"Home", "u2", "p2", false});
    char names[600] = "stale text that must go";
    EXPECT_EQ(RyRasEnumE(0xFFFFFFFF, names), 0);
    EXPECT_STREQ(names, "Office;Home;");
    // The count call with one 264-byte record, then the array of two.
    EXPECT_EQ(book_.observed().entryNameSizes, (std::vector<DWORD>{264, 264}));
    EXPECT_EQ(book_.observed().byteCounts, (std::vector<DWORD>{264, 528}));
}

TEST_F(Dialup, NamesOf256CharactersComeThroughWhole) {
    std::string longName = Filled(256, 'N');
    book_.add({longName, "u", "p", true});
    book_.add({"B", "u", "p", true});
    std::vector<char> names(RYINET_PHONEBOOK_BYTES(3), '\x5A');
    EXPECT_EQ(RyRasEnumE(0, names.data()), 0);
    EXPECT_EQ(std::string(names.data()), longName + ";B;");
}

TEST_F(Dialup, AFieldWithoutTerminatorIsCutAtItsWidth) {
    book_.add({"one", "u", "p", true});
    book_.add({"two", "u", "p", true});
    book_.writeUnterminatedNames(true);
    std::vector<char> names(RYINET_PHONEBOOK_BYTES(2) + 64, '\x5A');
    EXPECT_EQ(RyRasEnumE(0, names.data()), 0);
    std::string one = Filled(256, 'U') + ";";
    EXPECT_EQ(std::string(names.data()), one + one);
}

TEST_F(Dialup, ACountThatGrowsBetweenTheCallsNeverReadsPastTheArray) {
    book_.add({"Office", "u", "p", true});
    book_.add({"Home", "u", "p", true});
    book_.growAfterCount({{"Lab", "u", "p", true}, {"Cabin", "u", "p", true}}, /*fillWhatFits=*/true);
    char names[RYINET_PHONEBOOK_BYTES(4)];
    EXPECT_EQ(RyRasEnumE(0, names), 0);
    EXPECT_STREQ(names, "Office;Home;");  // two records allocated, four reported
}

TEST_F(Dialup, RecordsTheServiceDidNotFillReadAsEmptyNames) {
    book_.add({"Office", "u", "p", true});
    book_.add({"Home", "u", "p", true});
    book_.growAfterCount({{"Lab", "u", "p", true}}, /*fillWhatFits=*/false);
    char names[RYINET_PHONEBOOK_BYTES(4)];
    EXPECT_EQ(RyRasEnumE(0, names), 0);
    EXPECT_STREQ(names, ";;");
}

// Their cost per entry is a figure of make bench.
TEST_F(Dialup, AThousandEntriesComeInOrder) {
    for (int i = 0; i < 1000; ++i) book_.add({"entry-" + std::to_string(i), "u", "p", true});
    std::vector<char> names(RYINET_PHONEBOOK_BYTES(1000));
    RyRasEnumE(0, names.data());
    std::string expected;
    for (int i = 0; i < 1000; ++i) expected += "entry-" + std::to_string(i) + ";";
    EXPECT_EQ(std::string(names.data()), expected);
}

// ---- Stored dial parameters ---------------------------------------------------------------

// A buffer keeps the host's text where the library has nothing for it: the password
// when none is saved, both for an entry the phonebook does not hold.
TEST_F(Dialup, StoredUserAndPasswordAreReturnedAndNothingElseIsWritten) {
    book_.add({"Office", "alice", "s3cret-password-of-some-length", true});
    book_.add({"Home", "bob", "never-saved", false});
    for (std::vector<std::string> c : {std::vector<std::string>{"Office", "alice", "s3cret-password-of-some-length"},
                                       {"Home", "bob", "host's own"}, {"Offic", "old user", "host's own"}}) {
        char user[RYINET_CREDENTIAL_BYTES] = "old user", password[RYINET_CREDENTIAL_BYTES] = "host's own";
        EXPECT_EQ(RdlParms(c[0].c_str(), user, password), 0);
        EXPECT_EQ((std::vector<std::string>{c[0], user, password}), c);
    }
    EXPECT_EQ(book_.observed().dialParamSizes, (std::vector<DWORD>{1052, 1052, 1052}));
}

TEST_F(Dialup, A256CharacterNameFitsAnd257IsRefusedNotTruncated) {
    std::string fits = Filled(256, 'E');
    book_.add({fits, Filled(256, 'u'), Filled(256, 'p'), true});
    std::vector<char> user(300, 'x'), password(300, 'x');
    EXPECT_EQ(RdlParms(fits.c_str(), user.data(), password.data()), 0);
    EXPECT_EQ(std::string(user.data()), Filled(256, 'u'));
    EXPECT_EQ(std::string(password.data()), Filled(256, 'p'));
    EXPECT_EQ(user[RYINET_CREDENTIAL_BYTES], 'x');

    // Cut to 256 characters this name would find the entry above: it must not.
    char u[RYINET_CREDENTIAL_BYTES] = "untouched", p[RYINET_CREDENTIAL_BYTES] = "untouched";
    int reads = book_.observed().paramReads;
    EXPECT_EQ(RdlParms((fits + "X").c_str(), u, p), 0);
    EXPECT_STREQ(u, "untouched");
    EXPECT_STREQ(p, "untouched");
    EXPECT_EQ(book_.observed().paramReads, reads);
}

// ---- Dialing ------------------------------------------------------------------------------

TEST_F(Dialup, TheRightCredentialsGiveAConnectionHandle) {
    book_.add({"Office", "alice", "pw", true});
    DWORD handle = RyRasDial(kIgnoredOwner, "Office", "alice", "pw");
    EXPECT_NE(handle, 0u);
    const Phonebook::Observed& o = book_.observed();
    EXPECT_EQ(o.dialed, std::vector<std::string>{"Office/alice/pw"});
    EXPECT_EQ(o.dialParamSizes, std::vector<DWORD>{1052});
    EXPECT_FALSE(o.oddDialArguments) << "synchronous: no extensions, default phonebook, no notifier";
    EXPECT_TRUE(o.hungUp.empty());
}

TEST_F(Dialup, AFailedDialHangsUpWhatItLeftAndReturnsZero) {
    book_.add({"Office", "alice", "pw", true});
    EXPECT_EQ(RyRasDial(kIgnoredOwner, "Office", "alice", "wrong"), 0u);
    const Phonebook::Observed& o = book_.observed();
    ASSERT_EQ(o.hungUp.size(), 1u);
    EXPECT_NE(o.hungUp[0], 0u);
    EXPECT_GE(o.statusPolls, 3) << "waits until the service has let the connection go";
    for (DWORD size : o.statusSizes) EXPECT_EQ(size, 160u);
}

TEST_F(Dialup, AFailedDialWithoutAHandleHangsUpNothing) {
    book_.failedDialLeavesHandle(false);
    EXPECT_EQ(RyRasDial(kIgnoredOwner, "Nowhere", "u", "p"), 0u);
    EXPECT_TRUE(book_.observed().hungUp.empty());
}

TEST_F(Dialup, TextsLongerThan256CharactersDialNothing) {
    std::string ok = Filled(256, 'a'), tooLong = Filled(257, 'a');
    book_.add({ok, ok, ok, true});
    EXPECT_NE(RyRasDial(kIgnoredOwner, ok.c_str(), ok.c_str(), ok.c_str()), 0u);
    EXPECT_EQ(RyRasDial(kIgnoredOwner, tooLong.c_str(), ok.c_str(), ok.c_str()), 0u);
    EXPECT_EQ(RyRasDial(kIgnoredOwner, ok.c_str(), tooLong.c_str(), ok.c_str()), 0u);
    EXPECT_EQ(RyRasDial(kIgnoredOwner, ok.c_str(), ok.c_str(), tooLong.c_str()), 0u);
    EXPECT_EQ(book_.observed().dialed.size(), 1u);
}

// ---- No copy of the password left behind ----------------------------------------------------

const char kSecret[] = "Zq7-unusual-Secret-9xW";
const size_t kScan = 16 * 1024;

// Zeroes the stack just below the caller's, so only what the next call leaves is found.
__attribute__((noinline)) void ClearStackBelow() {
    volatile char area[kScan];
    for (size_t i = 0; i < kScan; ++i) area[i] = 0;
}

// Whether the secret lies in the kScan bytes below the given stack pointer. No calls: the
// scan must not write over what it looks at.
bool SecretBelow(DWORD esp) {
    const char* low = reinterpret_cast<const char*>(esp - kScan);
    const size_t n = sizeof kSecret - 1;
    for (size_t i = 0; i + n <= kScan; ++i) {
        size_t k = 0;
        while (k < n && low[i + k] == kSecret[k]) ++k;
        if (k == n) return true;
    }
    return false;
}

#define CURRENT_ESP(var) asm volatile("movl %%esp, %0" : "=r"(var))

// The control: a caller that does not wipe the record leaves the secret where it was.
__attribute__((noinline)) void ReadWithoutWiping() {
    char record[1052] = {};
    *reinterpret_cast<DWORD*>(record) = 1052;
    lstrcpyA(record + 4, "Vault");
    BOOL returned;
    Phonebook::GetEntryDialParams(nullptr, record, &returned);
    asm volatile("" : : "r"(record) : "memory");
}

TEST_F(Dialup, NoCopyOfThePasswordRemainsOnTheStack) {
    static std::string secret = kSecret;  // the host's copies live elsewhere
    book_.add({"Vault", "keeper", secret, true});
    static char user[RYINET_CREDENTIAL_BYTES], password[RYINET_CREDENTIAL_BYTES];
    DWORD esp;
    CURRENT_ESP(esp);

    ClearStackBelow();
    ReadWithoutWiping();
    EXPECT_TRUE(SecretBelow(esp)) << "control: the scan must see an unwiped record";

    ClearStackBelow();
    RdlParms("Vault", user, password);
    bool afterRead = SecretBelow(esp);
    ClearStackBelow();
    DWORD handle = RyRasDial(nullptr, "Vault", "keeper", secret.c_str());
    bool afterDial = SecretBelow(esp);
    ClearStackBelow();
    RyRasDial(nullptr, "Vault", "keeper", (secret + "-wrong").c_str());
    bool afterFailedDial = SecretBelow(esp);

    EXPECT_STREQ(password, kSecret);
    EXPECT_NE(handle, 0u);
    EXPECT_FALSE(afterRead);
    EXPECT_FALSE(afterDial);
    EXPECT_FALSE(afterFailedDial);
}

// ---- The RAS stand-in itself ------------------------------------------------------------------

TEST(RasStandIn, ThePhonebookFileAndTheServiceOutcomes) {
    rasstandin::Service service;
    service.entries = rasstandin::ParsePhonebook(
        "; the user's phonebook\n[Office]\nstandinuser = alice\nStandInPassword=pw\nStandInSavePassword=1\n"
        "[Home Line]\nPhoneNumber=1\n");
    ASSERT_EQ(service.entries.size(), 2u);
    EXPECT_EQ(service.entries[0].user, "alice");
    EXPECT_TRUE(service.entries[0].passwordSaved);
    EXPECT_EQ(service.entries[1].name, "Home Line");
    EXPECT_FALSE(service.entries[1].passwordSaved);

    char params[1052] = {};
    auto dial = [&](const char* entry, const char* user, const char* password, HRASCONN* handle) {
        memset(params, 0, sizeof params);
        *reinterpret_cast<DWORD*>(params) = 1052;
        lstrcpyA(params + 4, entry);
        lstrcpyA(params + 519, user);
        lstrcpyA(params + 776, password);
        *handle = nullptr;
        return service.dial(nullptr, nullptr, params, handle);
    };
    HRASCONN good, wrong, unknown;
    EXPECT_EQ(dial("Office", "alice", "pw", &good), 0u);
    EXPECT_EQ(dial("Office", "alice", "nope", &wrong), static_cast<DWORD>(ERROR_AUTHENTICATION_FAILURE));
    EXPECT_NE(wrong, nullptr) << "a failed dial leaves a handle to hang up";
    EXPECT_EQ(dial("Nowhere", "a", "b", &unknown), static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_EQ(unknown, nullptr);

    RASCONNSTATUSA status = {};
    status.dwSize = 160;
    EXPECT_EQ(service.connectStatus(good, &status), 0u);
    EXPECT_EQ(status.rasconnstate, RASCS_Connected);
    EXPECT_EQ(service.hangUp(good), 0u);
    DWORD answer = 0;
    for (int polls = 0; polls < 5 && answer == 0; ++polls) answer = service.connectStatus(good, &status);
    EXPECT_EQ(answer, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(service.hangUp(good), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
