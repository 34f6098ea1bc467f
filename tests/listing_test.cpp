// Remote directory listings: against real servers (the platform's own find records are
// the oracle), against a scripted server's odd listings, and from synthetic find records
// for exact formats, failures and scale; and the hosts' reader of the text
// (ryinet_listing.h), in C++ and C.
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <random>
#include <regex>
#include <string>
#include <vector>
#include "boxes.h"
#include "connected.h"
#include "entries.h"
#include "ftp_env.h"
#include "listing.h"
#include "ryinet.h"
#include "ryinet_listing.h"

extern "C" int CHostCountsRecords(const char* listing);

using namespace boxes;

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x77);
const char kSentinel = static_cast<char>(0xCC);

// A host buffer filled with a sentinel, to see that nothing lands past the text's end.
struct HostBuffer {
    explicit HostBuffer(size_t n) : bytes(n, kSentinel) {}
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data(), strnlen(bytes.data(), bytes.size())); }
    bool untouchedAfterText() const {
        size_t end = strnlen(bytes.data(), bytes.size());
        for (size_t i = end + 1; i < bytes.size(); ++i)
            if (bytes[i] != kSentinel) return false;
        return end < bytes.size();
    }
    std::vector<char> bytes;
};

// ---- Real servers --------------------------------------------------------------------

class RealServer : public ServerConnection {
protected:
    RealServer() : ServerConnection(kOwner) {}

    // RyFtpDir's text must be exactly what the platform's own records say, in order.
    void ExpectSameAsPlatform(const char* pattern, size_t minimumEntries) {
        SCOPED_TRACE(pattern ? pattern : "(null pattern)");
        std::vector<WIN32_FIND_DATAA> raw = RawFind(connection(), pattern);
        ASSERT_GE(raw.size(), minimumEntries);
        HostBuffer out(RYINET_LISTING_BYTES(raw.size()) + 4096);
        EXPECT_EQ(RyFtpDir(connection_, kOwner, pattern, 0xBAD, out.data()), 0);
        EXPECT_EQ(out.text(), ExpectedListing(raw));
        EXPECT_TRUE(out.untouchedAfterText());
        EXPECT_TRUE(boxes_.take().empty());
    }
};

TEST_P(RealServer, ListingsEqualThePlatformsRecords) {
    ExpectSameAsPlatform(nullptr, 8);
    ExpectSameAsPlatform("*", 8);
    ExpectSameAsPlatform("*.txt", 3);
    ExpectSameAsPlatform("pub/*", 2);
    ExpectSameAsPlatform("readme.txt", 1);
}

TEST_P(RealServer, RecordsCarryTheDirectoryDecorationAndSizes) {
    HostBuffer out(RYINET_LISTING_BYTES(64));
    ASSERT_EQ(RyFtpDir(connection_, kOwner, "*", 0, out.data()), 0);
    std::string text = out.text();
    EXPECT_NE(text.find(" [ pub ] ;"), std::string::npos) << text;
    EXPECT_NE(text.find(";<DIR>|"), std::string::npos) << text;
    EXPECT_NE(text.find("empty.dat;"), std::string::npos) << text;
    EXPECT_NE(text.find(";0|"), std::string::npos) << text;
    EXPECT_NE(text.find(";512|"), std::string::npos) << text;
}

TEST_P(RealServer, APatternThatMatchesNothingGivesOneAndAnEmptyText) {
    for (const char* pattern : {"nothing-here*", "emptydir/*"}) {
        HostBuffer out(300);
        strcpy(out.data(), "stale");
        EXPECT_EQ(RyFtpDir(connection_, kOwner, pattern, 0, out.data()), 1) << pattern;
        EXPECT_EQ(out.text(), "") << pattern;
    }
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_P(RealServer, ALostConnectionGivesOneAndNoBox) {
    RyINetClose(connection_, kOwner);
    connection_ = 0;
    HostBuffer out(300);
    EXPECT_EQ(RyFtpDir(0, kOwner, "*", 0, out.data()), 1);
    EXPECT_EQ(out.text(), "");
    EXPECT_TRUE(boxes_.take().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer, ::testing::Values("PYFTPD", "VSFTPD", "PUREFTPD", "TWISTED"));

// ---- A scripted server's listings that no ordinary server makes ------------------------

class ScriptedServer : public RealServer {};

TEST_P(ScriptedServer, OddNamesSizesAndDatesComeThroughAsThePlatformGivesThem) {
    std::vector<WIN32_FIND_DATAA> raw = RawFind(connection(), "odd/*");
    ASSERT_EQ(raw.size(), 7u);
    HostBuffer out(RYINET_LISTING_BYTES(8));
    ASSERT_EQ(RyFtpDir(connection_, kOwner, "odd/*", 0, out.data()), 0);
    std::string text = out.text();
    EXPECT_EQ(text, ExpectedListing(raw));
    EXPECT_TRUE(out.untouchedAfterText());
    // Names are not escaped; a directory is decorated; zero is one digit.
    EXPECT_EQ(text.find("semi;colon|pipe.txt;03/07/1998  "), 0u) << text;
    EXPECT_NE(text.find("| [ sub;dir ] ;"), std::string::npos) << text;
    EXPECT_NE(text.find("|zero.dat;02/02/"), std::string::npos) << text;
    EXPECT_NE(text.find(";0|three_gb.iso;"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(250, 'L') + ";10/10/"), std::string::npos);
    EXPECT_EQ(text.back(), '|');
}

TEST_P(ScriptedServer, ATransferCutPartWayGivesZeroWithTheRecordsSoFar) {
    HostBuffer out(RYINET_LISTING_BYTES(4));
    ASSERT_EQ(RyFtpDir(connection_, kOwner, "broken/*", 0, out.data()), 0);
    std::string text = out.text();
    EXPECT_EQ(text.find("first.txt;03/07/1998  "), 0u) << text;
    EXPECT_NE(text.find(";1|second.txt;03/07/1998  "), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 3), ";2|") << text;
    EXPECT_TRUE(boxes_.take().empty());
}

// Whatever the platform's parser makes of an IIS listing (it keeps the first word of a name,
// caps sizes and reads some dates badly), the text says exactly that.
TEST_P(ScriptedServer, AnMsDosStyleListingComesThroughAsThePlatformParsesIt) {
    ExpectSameAsPlatform("iis/*", 5);
    HostBuffer out(RYINET_LISTING_BYTES(6));
    ASSERT_EQ(RyFtpDir(connection_, kOwner, "iis/*", 0, out.data()), 0);
    EXPECT_EQ(out.text().find(" [ pub ] ;"), 0u) << out.text();
    EXPECT_NE(out.text().find("|readme.txt;"), std::string::npos) << out.text();
    // Wine 8 and Wine 10 alike keep "two" of "two words.txt": a limit the README names.
    EXPECT_NE(out.text().find("|two;10/10/2010  10:10;7|"), std::string::npos) << out.text();
    EXPECT_EQ(out.text().find("words"), std::string::npos) << out.text();
}

INSTANTIATE_TEST_SUITE_P(Scripted, ScriptedServer, ::testing::Values("SCRIPTED"));

// ---- A server killed while a listing is being read -----------------------------------------

class DyingServer : public RealServer {};

TEST_P(DyingServer, TheRecordsSoFarThenCleanFailuresThenANewConnectionOnceItIsBack) {
    HostBuffer out(RYINET_LISTING_BYTES(8));
    ASSERT_EQ(RyFtpDir(connection_, kOwner, "dying/*", 0, out.data()), 0);
    EXPECT_EQ(out.text(), "slow1.txt;03/07/1998  12:00;1|slow2.txt;03/07/1998  12:00;2|slow3.txt;03/07/1998  12:00;3|");
    EXPECT_TRUE(boxes_.take().empty());

    // The connection is dead: each call fails in its own way, and nothing hangs.
    EXPECT_EQ(RyFtpDir(connection_, kOwner, "*", 0, out.data()), 1);
    EXPECT_EQ(out.text(), "");
    char dir[RYINET_CURDIR_BYTES] = "stale";
    EXPECT_EQ(RyFtpCurDir(connection_, kOwner, dir), 0);
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(RyFtpMd(connection_, kOwner, "d"), 0);
    EXPECT_EQ(RyFtpOpenFile(kOwner, connection_, "f"), 0u);
    EXPECT_EQ(boxes_.take(), (std::vector<BoxSeen>{B11(kOwner), B13(kOwner)}));

    DWORD again = 0;
    for (int tries = 0; !again && tries < 50; ++tries, Sleep(100)) {
        again = RyFtpConnect(session_, 0, kOwner, server_.host.c_str(), kUser, kPassword);
        boxes_.take();  // B6 while the server is still down
    }
    ASSERT_NE(again, 0u) << "the server did not come back";
    EXPECT_EQ(RyFtpDir(again, kOwner, "*", 0, out.data()), 0);
    EXPECT_EQ(out.text(), "plain.txt;03/07/1998  12:00;5|");
    RyINetClose(again, kOwner);
    EXPECT_TRUE(boxes_.take().empty());
}

INSTANTIATE_TEST_SUITE_P(Killed, DyingServer, ::testing::Values("DYING"));

// ---- Synthetic find records: exact format ----------------------------------------------

class Synthetic : public ::testing::Test {
protected:
    std::string List(const std::vector<WIN32_FIND_DATAA>& records, LONG* result = nullptr,
                     const char* pattern = "*") {
        SyntheticFinds source(entries_, records.size(), [&](size_t i, WIN32_FIND_DATAA& r) { r = records[i]; });
        HostBuffer out(RYINET_LISTING_BYTES(records.size()));
        LONG r = RyFtpDir(0xC0, kOwner, pattern, 0, out.data());
        if (result) *result = r;
        calls_ = source.calls();
        EXPECT_TRUE(out.untouchedAfterText());
        return out.text();
    }
    EntryControl entries_;
    BoxRecorder boxes_;
    SyntheticFinds::Calls calls_;
};

TEST_F(Synthetic, FileAndDirectoryRecordsHaveTheirExactForm) {
    LONG result = -5;
    std::string text = List({FindRecord("readme.txt", FILE_ATTRIBUTE_ARCHIVE, 512, 1998, 3, 7, 14, 5),
                             FindRecord("pub", FILE_ATTRIBUTE_DIRECTORY, 0, 2003, 1, 2, 0, 0)},
                            &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, "readme.txt;03/07/1998  14:05;512| [ pub ] ;01/02/2003  00:00;<DIR>|");
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Synthetic, SizesAreTheLowWordAsSigned) {
    EXPECT_EQ(List({FindRecord("big", 0, 3000000000ull, 2020, 12, 31, 23, 59)}), "big;12/31/2020  23:59;-1294967296|");
    EXPECT_EQ(List({FindRecord("huge", 0, 0x100000005ull, 2020, 1, 1, 9, 9)}), "huge;01/01/2020  09:09;5|");
    EXPECT_EQ(List({FindRecord("max", 0, 0xFFFFFFFFull, 2020, 1, 1, 9, 9)}), "max;01/01/2020  09:09;-1|");
    EXPECT_EQ(List({FindRecord("zero", FILE_ATTRIBUTE_READONLY, 0, 2020, 1, 1, 9, 9)}), "zero;01/01/2020  09:09;0|");
}

TEST_F(Synthetic, NamesAreWrittenUnchangedAndNeverReadPastTheirField) {
    EXPECT_EQ(List({FindRecord("a;b|c d", 0, 1, 1999, 9, 9, 9, 9), FindRecord(".", FILE_ATTRIBUTE_DIRECTORY, 0, 1999, 9, 9, 9, 9),
                    FindRecord("..", FILE_ATTRIBUTE_DIRECTORY, 0, 1999, 9, 9, 9, 9)}),
              "a;b|c d;09/09/1999  09:09;1| [ . ] ;09/09/1999  09:09;<DIR>| [ .. ] ;09/09/1999  09:09;<DIR>|");
    WIN32_FIND_DATAA unterminated = FindRecord("", 0, 7, 2001, 2, 3, 4, 5);
    memset(unterminated.cFileName, 'n', MAX_PATH);
    EXPECT_EQ(List({unterminated}), std::string(MAX_PATH - 1, 'n') + ";02/03/2001  04:05;7|");
}

TEST_F(Synthetic, AnUnconvertibleOrFiveDigitYearTimeGivesADateOfTheSameShape) {
    WIN32_FIND_DATAA r = FindRecord("t", 0, 1, 2001, 1, 1, 0, 0);
    r.ftLastWriteTime.dwHighDateTime = 0x80000000;  // beyond the calendar
    EXPECT_EQ(List({r}), "t;00/00/0000  00:00;1|");
    r.ftLastWriteTime = {0, 0};  // the calendar's first instant converts
    EXPECT_EQ(List({r}), "t;01/01/1601  00:00;1|");
    // A five-digit year would take the longest directory record to 291 bytes.
    std::string longest(MAX_PATH - 1, 'd');
    EXPECT_EQ(List({FindRecord(longest.c_str(), FILE_ATTRIBUTE_DIRECTORY, 0, 9999, 12, 31, 23, 59)}).size(),
              size_t{RYINET_LISTING_ENTRY_BYTES});
    EXPECT_EQ(List({FindRecord("t", 0, 1, 10000, 1, 1, 0, 0)}), "t;00/00/0000  00:00;1|");
    EXPECT_EQ(List({FindRecord(longest.c_str(), FILE_ATTRIBUTE_DIRECTORY, 0, 30827, 12, 31, 23, 59)}),
              " [ " + longest + " ] ;00/00/0000  00:00;<DIR>|");
}

TEST_F(Synthetic, OneEntryIsOneRecordAndFindNextEndsTheLoop) {
    EXPECT_EQ(List({FindRecord("only", 0, 3, 2010, 10, 10, 10, 10)}), "only;10/10/2010  10:10;3|");
    EXPECT_EQ(calls_.first, 1);
    EXPECT_EQ(calls_.next, 1);
    EXPECT_EQ(calls_.closed, 1);
}

TEST_F(Synthetic, ThePatternAndConnectionPassThroughWithFlagsAndContextZero) {
    List({FindRecord("x", 0, 1, 2010, 1, 1, 1, 1)}, nullptr, "some/path/*.t?t");
    EXPECT_STREQ(calls_.pattern, "some/path/*.t?t");
    EXPECT_EQ(calls_.connection, reinterpret_cast<HINTERNET>(0xC0));
    EXPECT_EQ(calls_.flags, 0u);
    EXPECT_EQ(calls_.context, 0u);
    List({FindRecord("x", 0, 1, 2010, 1, 1, 1, 1)}, nullptr, nullptr);
    EXPECT_EQ(calls_.pattern, nullptr);
}

TEST_F(Synthetic, NothingFoundGivesOneEmptyTextAndNoBox) {
    LONG result = 0;
    EXPECT_EQ(List({}, &result), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(calls_.closed, 0);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Synthetic, AMissingCloseEntryKeepsEveryRecordShowsB3AndReturnsZero) {
    std::vector<WIN32_FIND_DATAA> records = {FindRecord("a", 0, 1, 2010, 1, 1, 1, 1), FindRecord("b", 0, 2, 2010, 1, 1, 1, 1)};
    SyntheticFinds source(entries_, records.size(), [&](size_t i, WIN32_FIND_DATAA& r) { r = records[i]; });
    entries_.refuse("InternetCloseHandle");
    char out[600];
    EXPECT_EQ(RyFtpDir(0xC0, kOwner, "*", 0, out), 0);
    EXPECT_EQ(std::string(out), ExpectedListing(records));
    EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{B3(kOwner)});
}

// ---- Synthetic find records: random records and scale ----------------------------------

// Any name of 1 to 259 characters (';', '|', blanks and high bytes likely) or a name field
// with no terminator at all, any attributes and size, and times inside, at the edge of and
// beyond the calendar.
void RandomRecord(std::mt19937& rng, WIN32_FIND_DATAA& r) {
    memset(&r, 0xEE, sizeof r);
    std::uniform_int_distribution<int> len(1, MAX_PATH), byte(1, 255), pick(0, 9);
    int n = len(rng);  // MAX_PATH: the whole field, unterminated
    const char kLikely[] = ";| \xE9";
    for (int i = 0; i < n; ++i) {
        int p = pick(rng);
        r.cFileName[i] = p < 4 ? kLikely[p] : static_cast<char>(byte(rng));
    }
    if (n < MAX_PATH) r.cFileName[n] = '\0';
    r.dwFileAttributes = rng();
    r.nFileSizeHigh = rng();
    r.nFileSizeLow = rng();
    switch (pick(rng) % 3) {
    case 0: r.ftLastWriteTime = {static_cast<DWORD>(rng()), static_cast<DWORD>(rng() % 0x2500000)}; break;  // to 9999
    case 1: r.ftLastWriteTime = {static_cast<DWORD>(rng()), static_cast<DWORD>(rng() % 0x7FFFFFFF)}; break;  // to 30827
    default: r.ftLastWriteTime = {static_cast<DWORD>(rng()), static_cast<DWORD>(rng() | 0x80000000)}; break;  // beyond
    }
}

// size bytes that end where an inaccessible page begins: a write past them faults.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) {
        size_t pages = (size + 4095) / 4096 + 1;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, pages * 4096, MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * 4096, 4096, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * 4096 - size;
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    char* data() const { return data_; }
private:
    char* base_;
    char* data_;
};

// Records compared with wsprintfA's own rendering of the documented formats, each of the
// documented shape and bound, in a buffer sized exactly for the text.
TEST_F(Synthetic, RandomRecordsAreExactWithinTheirBoundAndFitAnExactBuffer) {
    const size_t kCount = 10000;
    std::vector<WIN32_FIND_DATAA> records(kCount);
    std::mt19937 rng(20261208);
    for (auto& r : records) RandomRecord(rng, r);
    std::string expected = ExpectedListing(records);
    SyntheticFinds source(entries_, kCount, [&](size_t i, WIN32_FIND_DATAA& r) { r = records[i]; });
    GuardedBuffer out(expected.size() + 1);
    ASSERT_EQ(RyFtpDir(0xC0, kOwner, "*", 0, out.data()), 0);
    ASSERT_EQ(std::string(out.data()), expected);

    const std::regex tail(";\\d\\d/\\d\\d/\\d{4}  \\d\\d:\\d\\d;(<DIR>|-?\\d{1,10})\\|$");
    size_t longest = 0;
    int unterminated = 0;
    for (const auto& r : records) {
        std::string record = ExpectedRecord(r);
        bool directory = (r.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t name = strnlen(r.cFileName, MAX_PATH - 1) + (directory ? 6 : 0);
        ASSERT_TRUE(std::regex_match(record.substr(name), tail)) << record.substr(name);
        EXPECT_LE(record.size(), size_t{RYINET_LISTING_ENTRY_BYTES});
        longest = std::max(longest, record.size());
        unterminated += memchr(r.cFileName, 0, MAX_PATH) == nullptr;
    }
    EXPECT_GE(longest, 285u) << "the random names should reach the bound";
    EXPECT_GT(unterminated, 10);
}

// Short, distinct records so a million fit in a 32-bit host; compared record by record.
void ScaleRecord(size_t i, WIN32_FIND_DATAA& r) {
    r = WIN32_FIND_DATAA();
    wsprintfA(r.cFileName, "file%08u.dat", static_cast<unsigned>(i));
    r.dwFileAttributes = (i % 7 == 0) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    r.nFileSizeLow = static_cast<DWORD>(i * 2654435761u);
    ULONGLONG t = 125000000000000000ull + i * 600000000ull;
    r.ftLastWriteTime = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

void ListScale(EntryControl& entries, size_t count) {
    SyntheticFinds source(entries, count, &ScaleRecord);
    std::vector<char> out(count * 48 + 1);
    EXPECT_EQ(RyFtpDir(0xC0, nullptr, "*", 0, out.data()), 0);
    const char* p = out.data();
    WIN32_FIND_DATAA r;
    for (size_t i = 0; i < count; ++i) {
        ScaleRecord(i, r);
        std::string expected = ExpectedRecord(r);
        if (strncmp(p, expected.c_str(), expected.size()) != 0) {
            ADD_FAILURE() << "record " << i << " of " << count << " differs: " << std::string(p, 40);
            return;
        }
        p += expected.size();
    }
    EXPECT_EQ(*p, '\0');
    EXPECT_EQ(static_cast<size_t>(p - out.data()), strlen(out.data()));
}

// Their cost per record is a figure of make bench.
TEST_F(Synthetic, AThousandAHundredThousandAndAMillionRecordsComeExact) {
    for (size_t count : {1000u, 100000u, 1000000u}) ListScale(entries_, count);
}

// ---- The listing reader ---------------------------------------------------------------------

// Each record the reader finds as "name size year" (size "<DIR>" for a directory); last
// gets its last answer, rest what it left unread.
std::vector<std::string> Read(const std::string& text, int* last = nullptr, std::string* rest = nullptr) {
    std::vector<std::string> records;
    const char* at = text.c_str();
    RyListingEntry e;
    int r;
    while ((r = RyListingNext(&at, &e)) == 1)
        records.push_back(std::string(e.name, e.nameLength) + " " + (e.isDirectory ? "<DIR>" : std::to_string(e.size)) +
                          " " + std::to_string(e.year));
    if (last) *last = r;
    if (rest) *rest = at;
    return records;
}

TEST(ListingReader, NamesWithSeparatorsComeThroughWhole) {
    const std::string date = ";03/07/1998  14:05;";
    struct Case {
        std::string text;
        std::vector<std::string> records;
    } cases[] = {
        {"notes;v2.txt" + date + "6|", {"notes;v2.txt 6 1998"}},
        {"a|b" + date + "7|x;y|z" + date + "8|", {"a|b 7 1998", "x;y|z 8 1998"}},
        {" [ a;b|c ] " + date + "<DIR>|", {"a;b|c <DIR> 1998"}},
        {" [ odd ] " + date + "5|", {" [ odd ]  5 1998"}},  // a file whose name looks decorated
        {"f" + date + "<DIR>|g" + date + "3|", {"f" + date + "<DIR>|g 3 1998"}},  // <DIR> only after [ ]
        {date + "0|", {" 0 1998"}},
        // The one ambiguity: a name holding a whole record ending reads as two records.
        {"x" + date + "6|y" + date + "7|", {"x 6 1998", "y 7 1998"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.text), c.records) << c.text;
        EXPECT_EQ(CHostCountsRecords(c.text.c_str()), static_cast<int>(c.records.size())) << c.text;
    }
}

TEST(ListingReader, SizesDatesAndTheEndOfTheText) {
    // Sizes are the low 32 bits, written signed; a date outside the calendar reads as zeros.
    EXPECT_EQ(Read(" [ pub ] ;03/07/1998  14:05;<DIR>|big;12/31/30827  23:59;-2147483648|"
                   "all;00/00/0000  00:00;-1|zero;01/01/1601  00:00;0|"),
              (std::vector<std::string>{"pub <DIR> 1998", "big 2147483648 30827", "all 4294967295 0", "zero 0 1601"}));
    int last = 0;
    std::string rest;
    EXPECT_EQ(Read("ok;01/02/2003  04:05;1|garbage;1/2/2003  04:05;1|", &last, &rest).size(), 1u);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(rest, "garbage;1/2/2003  04:05;1|");
    EXPECT_TRUE(Read("", &last).empty());
    EXPECT_EQ(last, 0);
}

}  // namespace
