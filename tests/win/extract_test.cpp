// The extraction driver on Windows: choice by language, output files, messages, refusals, stamps.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "tests/win/extract_fixture.h"

namespace {

using archive_bytes::archive_start;
using archive_bytes::Bytes;
using archive_bytes::FileEntry;
using archive_bytes::stored;
using archive_bytes::stored_archive;
using win_files::exists;
using win_files::list_files;
using win_files::read_text;
using win_files::remove_tree;
using win_files::write_text;

const char kCannotInstall[] = "Cannot install file.";
const char kCannotInstallGerman[] = "Kann nicht die Datei installieren.";

// Distinct, compressible content for each name.
std::string content_for(const std::string& name) {
    std::string data;
    for (int i = 0; i < 40; i++)
        data += name + " line " + std::to_string(i % 7) + "\r\n";
    return data;
}

// The extraction fixture with the file prefix the dialog leaves ("ZUNO").
class ExtractTest : public ExtractFixture {
protected:
    void SetUp() override {
        lstrcpyA(file_prefix, "ZUNO");
        ExtractFixture::SetUp();
    }

    static void select(int german, int english, int others) {
        language_table[0].selected = (short)german;
        language_table[1].selected = (short)english;
        language_table[2].selected = (short)others;
    }

    // Extracts ARCHIVE (written to the setup file beside the install folder) into the install folder.
    int run(const Bytes& archive) {
        EXPECT_TRUE(archive_bytes::write_file(setup_, archive));
        return extract_into(setup_, dest_);
    }

    int run_file(const std::string& archive_path, const std::string& folder = "") {
        return extract_into(archive_path, folder.empty() ? dest_ : folder);
    }

    std::string in_dest(const std::string& name) const { return dest_ + "\\" + name; }

    std::string label() const {
        char text[300];
        GetWindowTextA(label_, text, sizeof text);
        return text;
    }

    // Exactly one message box: the cannot-install text with CAPTION, an error owned by the dialog.
    void expect_cannot_install(const std::string& caption) {
        std::vector<SeenBox> seen = watcher_.boxes();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, kCannotInstall);
        EXPECT_EQ(seen[0].caption, caption);
        EXPECT_EQ(seen[0].icon, BOX_ICON_ERROR) << box_icon_name(seen[0].icon);
        EXPECT_EQ(seen[0].owner, owner_);
    }
};

// --- Choice of entries by language --------------------------------------------------------------------

TEST_F(ExtractTest, InstallsTheEntriesOfTheSelectedLanguages) {
    // The worked example's names, letter-case variants, a one-character tag and a language name in a folder.
    const std::vector<std::string> always = {"ZUNO",       "ZUNORES.DLL", "FILE_ID.DIZ",      "ZUNO.EXE",
                                             "ZUNO_X.TXT", "ZUNOXDE.CHM", "HELP\\ZUNO_DE.CHM"};
    const std::vector<std::string> german = {"ZUNO_DE.CHM", "zUnO_De.HLP"};
    const std::vector<std::string> english = {"ZUNO_US.CHM"};
    const std::vector<std::string> others = {"ZUNO_CA.LNG", "zuno_ua.lng"};
    std::vector<NamedFile> files;
    for (const auto* group : {&always, &german, &english, &others})
        for (const std::string& name : *group)
            files.push_back({name, content_for(name)});
    Bytes archive = compressed_archive(files);

    const struct {
        int de, us, other;
    } cases[] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {1, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DE " << c.de << " US " << c.us << " others " << c.other);
        ASSERT_TRUE(renew_dest());
        select(c.de, c.us, c.other);
        ASSERT_EQ(run(archive), 0);
        std::set<std::string> expected(always.begin(), always.end());
        if (c.de)
            expected.insert(german.begin(), german.end());
        if (c.us)
            expected.insert(english.begin(), english.end());
        if (c.other)
            expected.insert(others.begin(), others.end());
        std::vector<std::string> listed = list_files(dest_);
        EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
        for (const std::string& name : expected)
            EXPECT_EQ(read_text(in_dest(name)), content_for(name)) << name;
        EXPECT_EQ(label(), "zuno_ua.lng");  // the last entry is shown, written or not
    }
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractTest, DeletesTheOldFileOfADeselectedLanguage) {
    select(0, 1, 0);
    for (const char* name : {"ZUNO_DE.CHM", "ZUNO_CA.LNG", "ZUNO_US.CHM"})
        ASSERT_TRUE(write_text(in_dest(name), "old"));
    Bytes archive = compressed_archive({{"zuno_de.chm", content_for("de")},
                                        {"ZUNO_CA.LNG", content_for("ca")},
                                        {"ZUNO_US.CHM", content_for("us")}});
    EXPECT_EQ(run(archive), 0);
    EXPECT_FALSE(exists(in_dest("ZUNO_DE.CHM")));
    EXPECT_FALSE(exists(in_dest("ZUNO_CA.LNG")));
    EXPECT_EQ(read_text(in_dest("ZUNO_US.CHM")), content_for("us"));
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractTest, CreatesTheFoldersOfTheNames) {
    Bytes archive = compressed_archive({{"DOC\\EN\\README.TXT", "readme"}, {"BIN/TOOL.EXE", "tool"}});
    EXPECT_EQ(run(archive), 0);
    EXPECT_EQ(read_text(in_dest("DOC\\EN\\README.TXT")), "readme");
    EXPECT_EQ(read_text(in_dest("BIN\\TOOL.EXE")), "tool");
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractTest, StampsTheArchivedAttributes) {
    FileEntry plain = stored("PLAIN.TXT", "p");
    FileEntry read_only = stored("RO.TXT", "r");
    read_only.file_attr = ATTR_ARCHIVE | ATTR_READONLY;
    FileEntry unix_file = stored("UNIX.TXT", "u");
    unix_file.host_os = HOST_UNIX;
    unix_file.file_attr = 0x81B4;
    EXPECT_EQ(run(stored_archive({plain, read_only, unix_file})), 0);
    EXPECT_EQ(GetFileAttributesA(in_dest("PLAIN.TXT").c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributesA(in_dest("RO.TXT").c_str()), (DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(in_dest("UNIX.TXT").c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

// The archived DOS time is local time; LocalFileTimeToFileTime converts with the bias in force now, so under
// Europe/Berlin 2004-06-09 12:00 becomes 10:00 UTC while summer time is in force and 11:00 UTC in winter.
// ctest starts the Wine tests with TZ=Europe/Berlin; Wine takes the zone from the process's TZ.
TEST_F(ExtractTest, StampsTheArchivedTimeAsLocalTime) {
    TIME_ZONE_INFORMATION zone;
    DWORD state = GetTimeZoneInformation(&zone);
    if (zone.Bias != -60 || zone.DaylightBias != -60)
        GTEST_SKIP() << "the process's time zone is not Europe/Berlin (bias " << zone.Bias
                     << "); run with TZ=Europe/Berlin";
    ASSERT_EQ(run(compressed_archive({{"ZUNO.EXE", "exe"}, {"ZUNO_DE.CHM", "de"}})), 0);
    for (const char* name : {"ZUNO.EXE", "ZUNO_DE.CHM"}) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(in_dest(name).c_str(), GetFileExInfoStandard, &data));
        SYSTEMTIME utc;
        FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
        EXPECT_EQ(utc.wYear, 2004);
        EXPECT_EQ(utc.wMonth, 6);
        EXPECT_EQ(utc.wDay, 9);
        EXPECT_EQ(utc.wHour, state == TIME_ZONE_ID_DAYLIGHT ? 10 : 11) << name;
        EXPECT_EQ(utc.wMinute, 0);
        EXPECT_EQ(utc.wSecond, 0);
    }
}

// --- Failures of an entry -------------------------------------------------------------------------------

TEST_F(ExtractTest, ChecksumFailureDeletesTheFileAndNamesTheEntry) {
    const struct {
        int ui;
        const char* text;
    } cases[] = {{1, kCannotInstall}, {2, kCannotInstallGerman}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(renew_dest());
        watcher_.clear();
        UiLanguage = c.ui;
        FileEntry bad = stored("SUB\\BAD.TXT", "damaged");
        bad.file_crc = 0x12345678;
        EXPECT_EQ(run(stored_archive({stored("GOOD.TXT", "good"), bad, stored("LATER.TXT", "later")})), 3);
        std::vector<SeenBox> seen = watcher_.boxes();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, c.text);
        EXPECT_EQ(seen[0].caption, "SUB\\BAD.TXT");
        EXPECT_EQ(seen[0].icon, BOX_ICON_ERROR);
        EXPECT_EQ(seen[0].owner, owner_);
        EXPECT_EQ(read_text(in_dest("GOOD.TXT")), "good");
        EXPECT_FALSE(exists(in_dest("SUB\\BAD.TXT")));
        EXPECT_FALSE(exists(in_dest("LATER.TXT")));  // the run ends after the failed entry
    }
}

TEST_F(ExtractTest, ArchiveCutShortInsideAWrittenEntryFailsItsChecksum) {
    std::string big;
    for (int i = 0; i < 3000; i++)
        big += std::to_string(i * 7919 % 1000) + ",";
    Bytes archive = compressed_archive({{"FIRST.TXT", "first"}, {"BIG.DAT", big}});
    archive.resize(archive.size() - 200);
    EXPECT_EQ(run(archive), 3);
    expect_cannot_install("BIG.DAT");
    EXPECT_EQ(read_text(in_dest("FIRST.TXT")), "first");
    EXPECT_FALSE(exists(in_dest("BIG.DAT")));
}

// An existing file that cannot be replaced: the message names the full path, the old file stays and gets the
// archived attributes (its read-only bit cleared), and the run ends with 1 - for a stored entry too, whose
// clean copy does not clear the error. Wine running as root deletes read-only files, so the file is also held
// open without sharing, which makes both the deletion and the creation fail as read-only does on Windows.
TEST_F(ExtractTest, ExistingFileThatCannotBeReplacedIsReportedWithItsPath) {
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress ? "compressed" : "stored");
        watcher_.clear();
        std::string path = in_dest("ZUNO.EXE");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(write_text(path, "old"));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        DeleteFileA(in_dest("NEXT.TXT").c_str());
        Bytes archive = compress ? compressed_archive({{"ZUNO.EXE", content_for("exe")}, {"NEXT.TXT", "next"}})
                                 : stored_archive({stored("ZUNO.EXE", "new"), stored("NEXT.TXT", "next")});
        EXPECT_EQ(run(archive), 1);
        CloseHandle(held);
        expect_cannot_install(path);
        EXPECT_EQ(read_text(path), "old");
        EXPECT_EQ(GetFileAttributesA(path.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_FALSE(exists(in_dest("NEXT.TXT")));
    }
}

TEST_F(ExtractTest, UnsupportedVersionEndsTheRunWithoutAMessage) {
    for (int version : {12, 21}) {
        SCOPED_TRACE(version);
        FileEntry old = stored("OLD.TXT", "old format");
        old.unp_ver = (uint8_t)version;
        EXPECT_EQ(run(stored_archive({stored("FIRST.TXT", "1"), old, stored("NEXT.TXT", "n")})), 1);
        EXPECT_TRUE(watcher_.boxes().empty());
        EXPECT_TRUE(exists(in_dest("FIRST.TXT")));
        EXPECT_FALSE(exists(in_dest("OLD.TXT")));
        EXPECT_FALSE(exists(in_dest("NEXT.TXT")));
    }
}

// --- The walk -------------------------------------------------------------------------------------------

TEST_F(ExtractTest, SubBlocksAreSkippedAndDoNotCountAsTheFirstEntry) {
    Bytes b = archive_start();
    archive_bytes::append_file(b, stored("A.TXT", "a"));
    archive_bytes::append_block(b, BLOCK_SUB, BLOCK_FLAG_HAS_DATA, 18, Bytes(8, 'x'));
    archive_bytes::append_file(b, stored("B.TXT", "b"));
    EXPECT_EQ(run(b), 0);
    EXPECT_EQ(read_text(in_dest("A.TXT")), "a");
    EXPECT_EQ(read_text(in_dest("B.TXT")), "b");

    // A first entry that continues a previous volume is refused even behind a sub-block.
    Bytes c = archive_start();
    archive_bytes::append_block(c, BLOCK_SUB, BLOCK_FLAG_HAS_DATA, 18, Bytes(8, 'x'));
    FileEntry continued = stored("C.TXT", "c");
    continued.flags |= FILE_FLAG_SPLIT_BEFORE;
    archive_bytes::append_file(c, continued);
    EXPECT_EQ(run(c), 2);
    EXPECT_FALSE(exists(in_dest("C.TXT")));
    EXPECT_TRUE(watcher_.boxes().empty());
}

// The older format ("RE~^" inside a file tagged "RSFX") checks a 16-bit sum seeded with 0.
TEST_F(ExtractTest, OldFormatEntriesAreCheckedWithTheSixteenBitSum) {
    const std::string data = "old format data";
    uint16_t sum = sum16_update(0, (const uint8_t*)data.data(), (uint32_t)data.size());
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "clean");
        Bytes b(64, 0);
        b[0] = 'M';
        b[1] = 'Z';
        memcpy(&b[28], "RSFX", 4);
        archive_bytes::append_old_marker(b);
        archive_bytes::put8(b, 0);                  // rest of head_flags
        archive_bytes::put16(b, MAIN_HEADER_SIZE);  // head_size, counted from the marker
        for (int i = 7; i < MAIN_HEADER_SIZE; i++)
            archive_bytes::put8(b, 0);
        FileEntry e = stored("OLD.TXT", data);
        e.file_crc = damaged ? sum ^ 1 : sum;
        archive_bytes::append_file(b, e);
        DeleteFileA(in_dest("OLD.TXT").c_str());
        EXPECT_EQ(run(b), damaged ? 3 : 0);
        EXPECT_EQ(read_text(in_dest("OLD.TXT")), damaged ? "<missing>" : data);
    }
}

TEST_F(ExtractTest, ArchiveWithoutEntriesInstallsNothing) {
    EXPECT_EQ(run(archive_start()), 0);
    EXPECT_TRUE(list_files(dest_).empty());
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractTest, FileWithoutArchiveGivesTwo) {
    EXPECT_EQ(run(Bytes(5000, 'M')), 2);
    EXPECT_EQ(run_file(root_ + "\\missing.bin"), 2);
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractTest, DamagedHeaderInMidArchiveEndsTheWalk) {
    Bytes short_header = archive_start();
    archive_bytes::append_file(short_header, stored("A.TXT", "a"));
    archive_bytes::append_block(short_header, BLOCK_FILE, 0, 3, {});
    archive_bytes::append_file(short_header, stored("C.TXT", "c"));

    Bytes backwards = archive_start();
    archive_bytes::append_file(backwards, stored("A.TXT", "a"));
    FileEntry wrapping = stored("B.TXT", "b");
    wrapping.pack_size = 0x7FFFFFF0;  // below 2 GiB, but next_block wraps to before block_start
    wrapping.unp_size = 1;
    archive_bytes::append_file(backwards, wrapping);
    archive_bytes::append_file(backwards, stored("C.TXT", "c"));

    for (const Bytes* archive : {&short_header, &backwards}) {
        DeleteFileA(in_dest("A.TXT").c_str());
        EXPECT_EQ(run(*archive), 0);
        EXPECT_TRUE(exists(in_dest("A.TXT")));
        EXPECT_FALSE(exists(in_dest("B.TXT")));
        EXPECT_FALSE(exists(in_dest("C.TXT")));
    }
    EXPECT_TRUE(watcher_.boxes().empty());
}

// A file header that does not match its checksum is not used: whatever it says about its name, sizes or
// version may be damage. The run ends there with the message (the entry's name, or the setup's own file
// when the name is gone) and the result of a checksum failure; earlier files stay, nothing more is written.
// A checksum that leaves a file comment out, as older archivers wrote it, is sound.
TEST_F(ExtractTest, DamagedFileHeaderEndsTheRunWithItsMessage) {
    FileEntry bad_checksum = stored("B.TXT", "b");
    bad_checksum.head_crc = 0x1234;
    FileEntry lost_name = stored("B.TXT", "b");
    lost_name.name_size = 0;
    lost_name.head_crc = 0x5678;
    const struct {
        const char* what;
        FileEntry second;
        std::string caption;
    } cases[] = {
        {"changed header", bad_checksum, "B.TXT"},
        {"name size lost", lost_name, setup_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(renew_dest());
        watcher_.clear();
        Bytes archive = archive_start();
        archive_bytes::append_file(archive, stored("A.TXT", "a"));
        archive_bytes::append_file(archive, c.second);
        archive_bytes::append_file(archive, stored("C.TXT", "c"));
        EXPECT_EQ(run(archive), EXTRACT_BAD_CHECKSUM);
        expect_cannot_install(c.caption);
        EXPECT_TRUE(exists(in_dest("A.TXT")));
        EXPECT_FALSE(exists(in_dest("B.TXT")));
        EXPECT_FALSE(exists(in_dest("C.TXT")));
    }

    ASSERT_TRUE(renew_dest());
    watcher_.clear();
    FileEntry commented = stored("B.TXT", "b");
    commented.extra = Bytes(12, 'c');
    Bytes archive = archive_start();
    const size_t header = archive.size();
    archive_bytes::append_file(archive, commented);
    uint32_t crc = archive_bytes::crc32(Bytes(archive.begin() + (long)header + 2,
                                              archive.begin() + (long)header + FILE_HEADER_SIZE + 5));
    archive[header] = (uint8_t)crc;
    archive[header + 1] = (uint8_t)(crc >> 8);
    EXPECT_EQ(run(archive), EXTRACT_OK);
    EXPECT_EQ(read_text(in_dest("B.TXT")), "b");
    EXPECT_TRUE(watcher_.boxes().empty());
}

// --- Refused entries ------------------------------------------------------------------------------------

// Names that would write outside the install folder, or to a device or stream, are refused before anything
// is touched: message with the name, result 1, and nothing outside the folder is created or deleted.
TEST_F(ExtractTest, UnsafeNamesAreRefused) {
    select(0, 1, 1);  // the German row deselected: its deletion must not reach outside either
    const struct {
        const char* name;
        const char* shown;  // as the message shows it: slashes read as backslashes
    } cases[] = {
        {"\\ABS.TXT", "\\ABS.TXT"},
        {"/ABS.TXT", "\\ABS.TXT"},
        {"C:EVIL.TXT", "C:EVIL.TXT"},
        {"C:\\EVIL.TXT", "C:\\EVIL.TXT"},
        {"GOOD.TXT:stream", "GOOD.TXT:stream"},
        {"..\\VICTIM.TXT", "..\\VICTIM.TXT"},
        {"../VICTIM.TXT", "..\\VICTIM.TXT"},
        {"A\\..\\..\\VICTIM.TXT", "A\\..\\..\\VICTIM.TXT"},
        {"ZUNO_DE.\\..\\..\\VICTIM.TXT", "ZUNO_DE.\\..\\..\\VICTIM.TXT"},
        {"...\\VICTIM.TXT", "...\\VICTIM.TXT"},
        {"CON", "CON"},
        {"nul.txt", "nul.txt"},
        {"LOGS\\COM1.LOG", "LOGS\\COM1.LOG"},
        {"lpt\xB9", "lpt\xB9"},
    };
    std::string victim = root_ + "\\VICTIM.TXT";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        watcher_.clear();
        ASSERT_TRUE(renew_dest());
        ASSERT_TRUE(write_text(victim, "keep"));
        Bytes archive = stored_archive({stored("FIRST.TXT", "1"), stored(c.name, "evil"), stored("LAST.TXT", "2")});
        EXPECT_EQ(run(archive), 1);
        expect_cannot_install(c.shown);
        EXPECT_EQ(read_text(victim), "keep");
        EXPECT_EQ(list_files(dest_), std::vector<std::string>{"FIRST.TXT"});
        EXPECT_FALSE(exists("C:\\EVIL.TXT"));
        EXPECT_FALSE(exists("EVIL.TXT"));
        EXPECT_FALSE(exists(root_ + "\\ABS.TXT"));
    }
}

TEST_F(ExtractTest, DotDotThatStaysInsideIsInstalled) {
    EXPECT_EQ(run(stored_archive({stored("A\\..\\INSIDE.TXT", "in")})), 0);
    EXPECT_EQ(read_text(in_dest("INSIDE.TXT")), "in");
    EXPECT_TRUE(watcher_.boxes().empty());
}

// The folder with its backslash and the name may take 259 characters, not one more.
TEST_F(ExtractTest, PathLongerThan259CharactersIsRefused) {
    size_t room = 259 - (dest_.size() + 1);
    auto long_name = [](size_t length) {
        std::string name = std::string(80, 'D') + "\\" + std::string(80, 'E') + "\\";
        return name + std::string(length - name.size(), 'F');
    };
    std::string fits = long_name(room);
    EXPECT_EQ(run(stored_archive({stored(fits, "fits")})), 0);
    EXPECT_EQ(read_text(in_dest(fits)), "fits");
    EXPECT_TRUE(watcher_.boxes().empty());

    std::string too_long = long_name(room + 1);
    EXPECT_EQ(run(stored_archive({stored(too_long, "long"), stored("LAST.TXT", "2")})), 1);
    expect_cannot_install(too_long);
    EXPECT_FALSE(exists(in_dest("LAST.TXT")));
}

// An entry of 2 GiB or more, packed or unpacked, is refused before its file is created.
TEST_F(ExtractTest, EntriesOf2GiBOrMoreAreRefused) {
    const struct {
        int64_t pack_size, unp_size;
    } cases[] = {{5, 0x80000000LL}, {5, 0xFFFFFFFFLL}, {0x80000000LL, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pack_size << " " << c.unp_size);
        watcher_.clear();
        FileEntry huge = stored("HUGE.DAT", "12345");
        huge.pack_size = c.pack_size;
        huge.unp_size = c.unp_size;
        EXPECT_EQ(run(stored_archive({stored("FIRST.TXT", "1"), huge, stored("LAST.TXT", "2")})), 1);
        expect_cannot_install("HUGE.DAT");
        EXPECT_FALSE(exists(in_dest("HUGE.DAT")));
        EXPECT_FALSE(exists(in_dest("LAST.TXT")));
    }
}

// A file that continues in a next volume cannot be completed: the part does not stay, the user is told,
// and the run does not end as a success - whether the entry was to be written or not.
TEST_F(ExtractTest, EntryContinuedInANextVolumeEndsTheRun) {
    select(0, 1, 0);
    for (const char* name : {"PART.DAT", "ZUNO_DE.CHM"}) {
        SCOPED_TRACE(name);
        watcher_.clear();
        FileEntry part = stored(name, "first half");
        part.flags |= FILE_FLAG_SPLIT_AFTER;
        EXPECT_EQ(run(stored_archive({stored("FIRST.TXT", "1"), part})), 2);
        expect_cannot_install(name);
        EXPECT_FALSE(exists(in_dest(name)));
        EXPECT_TRUE(exists(in_dest("FIRST.TXT")));
    }
}

// --- A disk that fills up -------------------------------------------------------------------------------

// Drive T: is a 64 KiB tmpfs set up by scripts/small-drive.sh (ctest runs it before the Wine tests).
TEST_F(ExtractTest, FullDiskEndsTheRunWithAChecksumFailure) {
    const std::string drive = "T:\\";
    if (read_text(drive + "ordavin-small-drive") != "64k\n")
        GTEST_SKIP() << "no 64 KiB drive T: (scripts/small-drive.sh setup mounts one; it needs root)";
    std::string folder = drive + "install-" + std::to_string(GetCurrentProcessId());
    remove_tree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string big;
    for (int i = 0; big.size() < 200000; i++)
        big += std::to_string((i * 2654435761u) >> 7) + ";";
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress ? "compressed" : "stored");
        watcher_.clear();
        Bytes archive = compress ? compressed_archive({{"SMALL.TXT", "small"}, {"BIG.DAT", big}, {"LAST.TXT", "l"}})
                                 : stored_archive({stored("SMALL.TXT", "small"), stored("BIG.DAT", big),
                                                   stored("LAST.TXT", "l")});
        ASSERT_TRUE(archive_bytes::write_file(setup_, archive));
        EXPECT_EQ(run_file(setup_, folder), 3);
        expect_cannot_install("BIG.DAT");
        EXPECT_EQ(read_text(folder + "\\SMALL.TXT"), "small");
        EXPECT_FALSE(exists(folder + "\\BIG.DAT"));
        EXPECT_FALSE(exists(folder + "\\LAST.TXT"));
    }

    // The drive filled up to all but 8 KiB: an entry of 8 KiB and 100 bytes hands its first 8 KiB to the disk
    // at once and keeps the last 100 bytes in the stream's buffer, which only the final flush finds no room for.
    watcher_.clear();
    DeleteFileA((folder + "\\SMALL.TXT").c_str());
    std::string filler = folder + "\\FILLER";
    HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string page(4096, 'f');
    DWORD wrote = 0;
    while (WriteFile(file, page.data(), (DWORD)page.size(), &wrote, nullptr) && wrote == page.size()) {
    }
    LONG full_pages = (LONG)(GetFileSize(file, nullptr) / 4096);
    ASSERT_GT(full_pages, 2);
    SetFilePointer(file, (full_pages - 2) * 4096, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(archive_bytes::write_file(
        setup_, stored_archive({stored("TAIL.DAT", std::string(8192 + 100, 't')), stored("LAST.TXT", "l")})));
    EXPECT_EQ(run_file(setup_, folder), 3);
    expect_cannot_install("TAIL.DAT");
    EXPECT_FALSE(exists(folder + "\\TAIL.DAT"));
    EXPECT_FALSE(exists(folder + "\\LAST.TXT"));
    remove_tree(folder);
}

// --- Real archives --------------------------------------------------------------------------------------

class ExtractSamplesTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        if (GetFileAttributesA(sample("README.md").c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "sample archives not found in " << ORDAVIN_SAMPLES_DIR;
    }
    static std::string sample(const std::string& name) {
        return win_files::windows_path(std::string(ORDAVIN_SAMPLES_DIR) + "/" + name);
    }
    int64_t size_of(const std::string& name) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(in_dest(name).c_str(), GetFileExInfoStandard, &data))
            return -1;
        return ((int64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    }
};

TEST_F(ExtractSamplesTest, CleanArchivesInstallEveryFile) {
    EXPECT_EQ(run_file(sample("unix-owner-subblock.rar")), 0);
    EXPECT_EQ(size_of("file.txt"), 4);
    EXPECT_EQ(GetFileAttributesA(in_dest("file.txt").c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);

    EXPECT_EQ(run_file(sample("stored-main-comment.rar")), 0);
    EXPECT_EQ(size_of("FILE1.TXT"), 7);
    EXPECT_EQ(size_of("FILE2.TXT"), 7);

    ASSERT_TRUE(renew_dest());
    EXPECT_EQ(run_file(sample("stored-folders-exttime.rar")), 0);
    EXPECT_EQ(size_of("exe\\test.exe"), 45056);
    EXPECT_EQ(size_of("jpg\\test.jpg"), 40372);
    std::vector<std::string> files = list_files(dest_);
    EXPECT_EQ(files.size(), 3u);  // the third file has an 8-bit name; the folder entries make nothing
    EXPECT_TRUE(watcher_.boxes().empty());
}

TEST_F(ExtractSamplesTest, EntriesThatCannotBeDecodedFailTheirChecksum) {
    for (const char* archive : {"encrypted-entries.rar", "version15-entries.rar"}) {
        SCOPED_TRACE(archive);
        watcher_.clear();
        EXPECT_EQ(run_file(sample(archive)), 3);
        expect_cannot_install("FILE1.TXT");
        EXPECT_FALSE(exists(in_dest("FILE1.TXT")));
        EXPECT_FALSE(exists(in_dest("FILE2.TXT")));  // the run ends after the failed entry
    }
}

TEST_F(ExtractSamplesTest, FirstVolumeOfASetIsNotReportedAsInstalled) {
    EXPECT_EQ(run_file(sample("volume1-split-entry.rar")), 2);
    expect_cannot_install("vols\\bigfile.txt");
    EXPECT_FALSE(exists(in_dest("vols\\bigfile.txt")));
}

}  // namespace
