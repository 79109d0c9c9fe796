// The built stubs: size, no archive marker inside, and their resources as the dialog needs them.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/dialog_ids.h"

namespace {

const char* const kStubs[] = {ORDAVIN_STUB32, ORDAVIN_STUB64};

std::vector<unsigned char> read_file(const char* path) {
    std::vector<unsigned char> data;
    FILE* f = fopen(path, "rb");
    if (!f)
        return data;
    unsigned char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    fclose(f);
    return data;
}

TEST(SetupStub, ShippedStubFitsIn64KiB) {
    std::vector<unsigned char> stub = read_file(ORDAVIN_STUB32);
    ASSERT_FALSE(stub.empty()) << "cannot read " << ORDAVIN_STUB32;
    EXPECT_LE(stub.size(), 65536u);
}

TEST(SetupStub, NeitherStubContainsTheArchiveMarker) {
    // Assembled here rather than written out, so that no marker sits in this program either.
    unsigned char marker[7] = {0, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    marker[0] = 0x52;
    for (const char* path : kStubs) {
        std::vector<unsigned char> stub = read_file(path);
        ASSERT_FALSE(stub.empty()) << "cannot read " << path;
        for (size_t i = 0; i + sizeof marker <= stub.size(); ++i)
            ASSERT_NE(memcmp(&stub[i], marker, sizeof marker), 0) << path << " at offset " << i;
    }
}

// --- Resources ------------------------------------------------------------------------------------------

class StubResources : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(GetParam(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << "cannot load " << GetParam();
    }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
    }
    std::string resource(LPCSTR type, int id) {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found)
            return std::string();
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }
    HMODULE module_ = nullptr;
};

// Reads a DLGTEMPLATEEX piece by piece.
struct TemplateReader {
    const unsigned char* p;
    WORD word() {
        WORD v;
        memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    DWORD dword() {
        DWORD v;
        memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    // A name or ordinal: "#n" for an ordinal, else the text (ASCII only here).
    std::string name_or_ordinal() {
        WORD first = word();
        if (first == 0xFFFF)
            return "#" + std::to_string(word());
        std::string text;
        for (WORD c = first; c != 0; c = word())
            text += static_cast<char>(c);
        return text;
    }
    void align4(const unsigned char* base) {
        while ((p - base) % 4)
            ++p;
    }
};

struct ControlSpec {
    int id;
    const char* klass;  // "#128" button, "#129" edit, "#130" static
    DWORD style;
    const char* text;
    short x, y, cx, cy;
};

const ControlSpec kControls[] = {
    {1, "#128", 0x50010000, "OK", 62, 216, 100, 18},
    {2, "#128", 0x50010000, "", 178, 216, 100, 18},
    {101, "#130", 0x50000201, "", 3, 10, 324, 35},
    {-1, "#130", 0x5000000E, "#1", 39, 57, 139, 89},
    {102, "#130", 0x50000002, "", 13, 162, 73, 10},
    {103, "#129", 0x50810080, "", 94, 161, 204, 12},
    {7, "#128", 0x50010000, "...", 300, 161, 13, 13},
    {104, "#128", 0x50000007, "", 197, 70, 100, 74},
    {201, "#128", 0x50010003, "Deutsch", 209, 90, 80, 10},
    {202, "#128", 0x50010003, "English", 209, 108, 80, 10},
    {203, "#128", 0x50010003, "", 209, 126, 85, 10},
    {105, "#128", 0x50010003, "", 94, 180, 149, 10},
    {106, "#128", 0x50010003, "", 94, 198, 149, 10},
    {107, "#130", 0x40000000, "", 64, 186, 243, 10},
};

TEST_P(StubResources, DialogTemplateIsTheSetupDialog) {
    std::string data = resource(RT_DIALOG, DLG_SETUP);
    ASSERT_FALSE(data.empty());
    const unsigned char* base = reinterpret_cast<const unsigned char*>(data.data());
    TemplateReader r{base};
    EXPECT_EQ(r.word(), 1);       // dlgVer
    EXPECT_EQ(r.word(), 0xFFFF);  // extended template
    EXPECT_EQ(r.dword(), 0u);     // help id
    EXPECT_EQ(r.dword(), 0x00000008u);
    EXPECT_EQ(r.dword(), 0x90C000C4u);
    WORD count = r.word();
    ASSERT_EQ(count, 14);
    EXPECT_EQ(r.word(), 0);  // x
    EXPECT_EQ(r.word(), 0);  // y
    EXPECT_EQ(r.word(), 330);
    EXPECT_EQ(r.word(), 237);
    EXPECT_EQ(r.name_or_ordinal(), "");  // no menu
    EXPECT_EQ(r.name_or_ordinal(), "");  // the standard dialog class
    EXPECT_EQ(r.name_or_ordinal(), "");  // empty title
    EXPECT_EQ(r.word(), 8);              // points
    EXPECT_EQ(r.word(), 0);              // weight
    EXPECT_EQ(*r.p++, 0);                // italic
    EXPECT_EQ(*r.p++, 1);                // character set
    EXPECT_EQ(r.name_or_ordinal(), "MS Sans Serif");
    for (const ControlSpec& c : kControls) {
        SCOPED_TRACE(c.id);
        r.align4(base);
        EXPECT_EQ(r.dword(), 0u);  // help id
        EXPECT_EQ(r.dword(), 0u);  // extended style
        EXPECT_EQ(r.dword(), c.style);
        EXPECT_EQ(static_cast<short>(r.word()), c.x);
        EXPECT_EQ(static_cast<short>(r.word()), c.y);
        EXPECT_EQ(static_cast<short>(r.word()), c.cx);
        EXPECT_EQ(static_cast<short>(r.word()), c.cy);
        EXPECT_EQ(static_cast<int>(r.dword()), c.id);
        EXPECT_EQ(r.name_or_ordinal(), c.klass);
        EXPECT_EQ(r.name_or_ordinal(), c.text);
        EXPECT_EQ(r.word(), 0);  // no creation data
    }
}

TEST_P(StubResources, PictureIs205By142In16Colours) {
    std::string data = resource(RT_BITMAP, BMP_PICTURE);
    ASSERT_GE(data.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    memcpy(&header, data.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 205);
    EXPECT_EQ(header.biHeight, 142);
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    // Header, 16 colours, 142 rows of 104 bytes.
    EXPECT_EQ(data.size(), 40u + 16 * 4 + 142 * 104);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_P(StubResources, IconGroupHoldsTheFourImagesInOrder) {
    std::string group = resource(RT_GROUP_ICON, 1);
    ASSERT_EQ(group.size(), 6u + 4 * sizeof(GroupIconEntry));
    const struct {
        int size, bits;
    } expected[] = {{16, 4}, {16, 8}, {32, 4}, {32, 8}};
    for (int i = 0; i < 4; ++i) {
        GroupIconEntry entry;
        memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.width, expected[i].size) << i;
        EXPECT_EQ(entry.height, expected[i].size) << i;
        EXPECT_EQ(entry.bit_count, expected[i].bits) << i;
        EXPECT_EQ(entry.id, i + 1);
        EXPECT_EQ(resource(RT_ICON, entry.id).size(), entry.bytes) << i;
    }
}

TEST_P(StubResources, ManifestNamesSetupAndCommonControls6) {
    std::string manifest = resource(MAKEINTRESOURCEA(24), 1);
    ASSERT_FALSE(manifest.empty());
    const bool is_64 = strcmp(GetParam(), ORDAVIN_STUB64) == 0;
    const char* arch = is_64 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    const char* expected[] = {
        "type=\"win32\" name=\"Setup.exe\" version=\"5.1.0.0\" ",
        "<description>Setup</description>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
    };
    for (const char* part : expected)
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    size_t first = manifest.find(arch);
    ASSERT_NE(first, std::string::npos) << arch;
    EXPECT_NE(manifest.find(arch, first + 1), std::string::npos) << "the dependency names the architecture too";
}

INSTANTIATE_TEST_SUITE_P(BothStubs, StubResources, ::testing::ValuesIn(kStubs),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Win32" : "Win64");
                         });

}  // namespace
