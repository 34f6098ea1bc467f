// Real boxes on a real (virtual) display, read as each is activated (caption, text,
// owner) and dismissed, so nothing waits for a person.
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "boxes.h"
#include "ftp_env.h"
#include "iat.h"
#include "ryinet.h"

namespace {

class RealBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run: the boxes must really show";
        owner_ = CreateWindowExA(0, "STATIC", "RYINET host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override { DestroyWindow(owner_); }
    ShownBoxes shown_;
    HWND owner_ = nullptr;
};

TEST_F(RealBoxes, AFailedConnectShowsItsBoxOwnedByTheHostWindow) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    DWORD session = RyINetOpen(owner_);
    ASSERT_NE(session, 0u);
    EXPECT_EQ(RyFtpConnect(session, 0, owner_, kUnreachableHost, "u", "p"), 0u);
    RyINetClose(session, owner_);
    FreeLibrary(wininet);
    ASSERT_EQ(shown_.seen.size(), 1u);
    EXPECT_EQ(shown_.seen[0].owner, owner_);
    EXPECT_EQ(shown_.seen[0].caption, "FTP");
    EXPECT_EQ(shown_.seen[0].text, "FtpConnect (c8) Could not connect to site.");
}

// Changes to the module's file, each of which the load must refuse with the one error box.
struct Tamper {
    const char* what;
    std::function<void(std::string&)> apply;
};

size_t SectionMiddle(const std::string& image, DWORD characteristic) {
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(&image[*reinterpret_cast<const DWORD*>(&image[0x3C])]);
    auto section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (section->Characteristics & characteristic) return section->PointerToRawData + section->SizeOfRawData / 2;
    return 0;
}

void FlipInside(std::string& image, const std::string& found) {
    size_t at = image.find(found);
    ASSERT_NE(at, std::string::npos) << found;
    image[at + 1] ^= 0x20;
}

TEST_F(RealBoxes, ADamagedModuleShowsTheErrorBoxWithoutOwnerAndDoesNotLoad) {
    char self[MAX_PATH];
    GetModuleFileNameA(Ryinet(), self, MAX_PATH);
    bool ok = false;
    const std::string original = ReadWholeFile(self, &ok);
    ASSERT_TRUE(ok);
    const Tamper tampers[] = {
        {"a code byte", [](std::string& m) { m[SectionMiddle(m, IMAGE_SCN_CNT_CODE)] ^= 0x40; }},
        {"a data byte (another box's text)", [](std::string& m) { FlipInside(m, "Unable to delete file."); }},
        {"an exported name", [](std::string& m) { FlipInside(m, std::string("RyFtpMd\0", 8)); }},
        {"the header's time stamp", [](std::string& m) { m[*reinterpret_cast<DWORD*>(&m[0x3C]) + 8] ^= 0x01; }},
        {"the last byte cut off", [](std::string& m) { m.pop_back(); }},
    };
    for (const Tamper& t : tampers) {
        std::string image = original;
        t.apply(image);
        ASSERT_NE(image, original) << t.what;
        std::string copy = TempPath("rydamaged.dll");
        WriteWholeFile(copy, image);
        shown_.seen.clear();
        HMODULE m = LoadLibraryA(copy.c_str());
        DWORD error = GetLastError();
        EXPECT_EQ(m, nullptr) << t.what;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED)) << t.what << ": the module's own check refused it";
        if (m) FreeLibrary(m);
        DeleteFileA(copy.c_str());
        ASSERT_EQ(shown_.seen.size(), 1u) << t.what;
        EXPECT_EQ(shown_.seen[0].owner, nullptr) << t.what;
        EXPECT_EQ(shown_.seen[0].caption, "RYINET") << t.what;
        EXPECT_EQ(shown_.seen[0].text, "RYINET.DLL has been damaged or modified and cannot be loaded.") << t.what;
    }
}

}  // namespace
