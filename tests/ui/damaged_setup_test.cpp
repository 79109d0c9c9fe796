// Damaged copies of the real setup, worked through its dialog: cuts and bit flips at fixed places of the
// archive it carries. Each copy must end with its own message or with success, success only with every
// written file intact; nothing may appear beside the install folder, and no file that failed its checksum
// may stay in it. The setup ends with 0 whatever happens: a failure shows as its message and the dialog
// staying open for another try.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archive/format.h"
#include "tests/ui/setup_session.h"

namespace ui {
namespace {

typedef std::vector<uint8_t> Bytes;

const char kSuccessText[] = "Ordavin has been successfully installed.";
const char kSuccessCaption[] = "  Setup ";
const char kCannotInstall[] = "Cannot install file.";
const char kIniRecord[] = "ZUNO.INI";   // written by a successful install, not carried in the archive
const DWORD kRunTimeout = 120000;       // one damaged setup from OK to its end, with every message answered

// Where the fields of a file header lie, from the start of the block.
enum {
    AT_HEAD_CRC = 0,
    AT_TYPE = 2,
    AT_PACK_SIZE = 7,
    AT_UNP_SIZE = 11,
    AT_FILE_CRC = 16,
    AT_UNP_VER = 24,
    AT_METHOD = 25,
    AT_NAME_SIZE = 26,
};

bool read_bytes(const std::string& path, Bytes* out) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    out->clear();
    uint8_t buf[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != 0) && got)
        out->insert(out->end(), buf, buf + got);
    CloseHandle(h);
    return ok;
}

bool write_bytes(const std::string& path, const Bytes& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = bytes.empty() ||
              (WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, nullptr) && put == bytes.size());
    return CloseHandle(h) && ok;
}

uint32_t get16(const Bytes& b, size_t at) {
    return b[at] | (uint32_t(b[at + 1]) << 8);
}
uint32_t get32(const Bytes& b, size_t at) {
    return get16(b, at) | (get16(b, at + 2) << 16);
}

// The archive in the setup, read from its block headers.
struct Entry {
    size_t header = 0;   // offset of the file header
    size_t data = 0;     // its packed data: data .. end
    size_t end = 0;
    std::string name;
    uint8_t method = 0;
};
struct ArchiveMap {
    size_t marker = 0;
    std::vector<Entry> entries;
};

// The first marker followed by a main header, as the setup finds it; then every block up to the end.
bool map_archive(const Bytes& s, ArchiveMap* out) {
    const uint8_t marker[MARKER_SIZE] = {MARKER_FIRST, kRarMarkerTail[0], kRarMarkerTail[1], kRarMarkerTail[2],
                                         kRarMarkerTail[3], kRarMarkerTail[4], kRarMarkerTail[5]};
    size_t at = 0;
    for (;; ++at) {
        if (at + MARKER_SIZE + MAIN_HEADER_SIZE > s.size())
            return false;
        if (memcmp(&s[at], marker, MARKER_SIZE) == 0 && s[at + MARKER_SIZE + AT_TYPE] == BLOCK_MAIN)
            break;
    }
    out->marker = at;
    size_t block = at + MARKER_SIZE + get16(s, at + MARKER_SIZE + 5);
    while (block + BLOCK_PREFIX_SIZE <= s.size()) {
        uint32_t flags = get16(s, block + 3), size = get16(s, block + 5);
        size_t data = block + size;
        size_t end = data + ((flags & BLOCK_FLAG_HAS_DATA) ? get32(s, block + AT_PACK_SIZE) : 0);
        if (size < BLOCK_PREFIX_SIZE || end > s.size())
            return false;
        if (s[block + AT_TYPE] == BLOCK_FILE) {
            Entry e;
            e.header = block;
            e.data = data;
            e.end = end;
            e.name.assign(reinterpret_cast<const char*>(&s[block + FILE_HEADER_SIZE]),
                          get16(s, block + AT_NAME_SIZE));
            e.method = s[block + AT_METHOD];
            out->entries.push_back(e);
        }
        block = end;
    }
    return block == s.size() && !out->entries.empty();
}

// What a variant must end with. Damage the setup cannot see (header checksums are not verified) may end
// either way, as long as every file written is intact.
enum class Expect { failure, no_archive, either };
const char* expect_name(Expect e) {
    return e == Expect::failure ? "failure" : e == Expect::no_archive ? "no archive" : "either";
}

struct Variant {
    std::string name;
    std::string kind;
    Expect expect;
    Bytes bytes;
};

int find_entry(const ArchiveMap& map, const char* name) {
    for (size_t i = 0; i < map.entries.size(); ++i)
        if (upper(map.entries[i].name) == upper(name))
            return int(i);
    return -1;
}

// The table of damaged copies, at fixed places of the built setup.
std::vector<Variant> make_variants(const Bytes& s, const ArchiveMap& map) {
    std::vector<Variant> list;
    auto cut = [&](const std::string& name, Expect expect, size_t at) {
        list.push_back(
            {name + " (cut at " + std::to_string(at) + ")", "cut", expect, Bytes(s.begin(), s.begin() + at)});
    };
    auto flips = [&](const std::string& name, const std::string& kind, Expect expect,
                     const std::vector<std::pair<size_t, int>>& bits) {
        Variant v{name + " (", kind, expect, s};
        for (const auto& b : bits) {
            v.bytes[b.first] ^= uint8_t(1 << b.second);
            v.name += "bit " + std::to_string(b.second) + " of " + std::to_string(b.first) + " ";
        }
        v.name.back() = ')';
        list.push_back(v);
    };
    // The three largest entries (compressed), the first one and one in the middle of the solid stream.
    const Entry& uninst = map.entries[std::max(find_entry(map, "UnInst.exe"), 0)];
    const Entry& program = map.entries[std::max(find_entry(map, "ZUNO.exe"), 0)];
    const Entry& resources = map.entries[std::max(find_entry(map, "ZUNORES.DLL"), 0)];
    const Entry& first = map.entries.front();
    const Entry& middle = map.entries[map.entries.size() / 2];

    cut("cut inside the marker", Expect::no_archive, map.marker + 4);
    cut("cut inside the main header", Expect::no_archive, map.marker + MARKER_SIZE + 6);
    cut("cut in the middle of the packed data of " + uninst.name, Expect::failure,
        (uninst.data + uninst.end) / 2);
    // Inside a header: before its version byte (a version the setup does not know), after its name size (an
    // entry without a name, which is never written), and inside the name.
    cut("cut inside the header of " + program.name, Expect::either, program.header + 20);
    cut("cut after the fixed header of " + program.name, Expect::either, program.header + FILE_HEADER_SIZE - 2);
    cut("cut inside the name of " + program.name, Expect::failure, program.header + FILE_HEADER_SIZE + 2);
    cut("cut one byte before the end", Expect::failure, s.size() - 1);

    flips("flip in the packed data of " + program.name, "data flip", Expect::failure,
          {{(program.data + program.end) / 2, 3}});
    flips("flip in the data checksum of " + resources.name, "header flip", Expect::failure,
          {{resources.header + AT_FILE_CRC + 2, 5}});
    flips("flip in the header checksum of " + middle.name, "header flip", Expect::either,
          {{middle.header + AT_HEAD_CRC, 0}});
    flips("flip in the block type of " + middle.name, "header flip", Expect::either,
          {{middle.header + AT_TYPE, 2}});
    flips("flip in the name of " + first.name, "header flip", Expect::either,
          {{first.header + FILE_HEADER_SIZE + 1, 0}});
    flips("flip in the name size of " + program.name, "header flip", Expect::either,
          {{program.header + AT_NAME_SIZE, 3}});
    flips("flip in the version of " + program.name, "header flip", Expect::either,
          {{program.header + AT_UNP_VER, 0}});
    flips("flip in the unpacked size of " + program.name, "header flip", Expect::failure,
          {{program.header + AT_UNP_SIZE + 1, 4}});
    flips("flip in the packed size of " + uninst.name, "header flip", Expect::either,
          {{uninst.header + AT_PACK_SIZE + 1, 1}});

    // Several flips, from a fixed seed: spread over the whole archive, and a burst in one place.
    std::mt19937 random(20261211);
    std::vector<std::pair<size_t, int>> spread, burst;
    for (int i = 0; i < 5; ++i)
        spread.push_back({map.marker + random() % (s.size() - map.marker), int(random() % 8)});
    size_t base = resources.data + random() % (resources.end - resources.data - 16);
    for (int i = 0; i < 4; ++i)
        burst.push_back({base + random() % 16, int(random() % 8)});
    flips("five flips across the archive", "multiple flips", Expect::either, spread);
    flips("a burst of flips in the packed data of " + resources.name, "multiple flips", Expect::failure, burst);
    return list;
}

// How one damaged setup ended.
struct Outcome {
    std::vector<MessageBoxSeen> boxes;   // in the order shown, each answered with OK
    bool ended = false;                  // OK's handling came to an end
    bool success = false;                // the last box is the success message
    bool dialog_open = false;            // the dialog stays after OK
    bool progress_shown = false;         // ... with the progress line in place of the two option boxes
    std::string progress;                // the progress line's text: the entry it stopped at
    long exit_code = -1;
};

struct Figures {
    int runs = 0;
    int success = 0;
    std::vector<std::string> success_short;   // success with entries left out by header damage
    int renamed = 0;                           // intact files under a name that header damage changed
    std::vector<std::string> silent;           // ended without any message, the dialog left open
    std::map<std::string, int> messages;       // failures by the text of their first message
};

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names)
        text += (text.empty() ? "" : "; ") + n;
    return text.empty() ? text : " (" + text + ")";
}

class DamagedSetup : public SetupSession {
protected:
    // Presses OK and answers every message until the handling of OK has ended (the dialog then stays open
    // or the setup ends), bounded by kRunTimeout.
    Outcome press_ok_and_answer() {
        Outcome out;
        HWND ok = GetDlgItem(dialog_, ID_OK);
        std::atomic<int> handled{-1};
        // The click returns only when the install has run to its end, messages and all.
        std::thread presser([ok, &handled] {
            DWORD_PTR result = 0;
            handled = SendMessageTimeoutA(ok, BM_CLICK, 0, 0, SMTO_NORMAL, kRunTimeout, &result) ? 1 : 0;
        });
        DWORD begin = GetTickCount();
        while (handled < 0 && GetTickCount() - begin < kRunTimeout + 10000) {
            MessageBoxSeen box;
            if (out.boxes.size() < 10 && find_message_box(dialog_, &box)) {
                out.boxes.push_back(box);
                EXPECT_TRUE(answer_message_box(box)) << "the message \"" << box.text << "\" does not go away";
                continue;
            }
            Sleep(20);
        }
        presser.join();
        out.ended = handled == 1;
        out.success = !out.boxes.empty() && out.boxes.back().text == kSuccessText;
        if (out.success) {
            out.exit_code = exit_code();
        } else {
            out.dialog_open = IsWindow(dialog_) && IsWindowVisible(dialog_);
            if (out.dialog_open) {
                out.progress_shown = is_visible(dialog_, ID_PROGRESS) && !is_visible(dialog_, ID_START_MENU);
                out.progress = item_text(dialog_, ID_PROGRESS);
                click(dialog_, ID_EXIT, 200);
            }
            out.exit_code = exit_code();
        }
        if (wait_for_exit(process_, 0) < 0)
            TerminateProcess(process_.handle, 1);
        return out;
    }
};

TEST_F(DamagedSetup, EndsWithItsMessageOrWithEveryWrittenFileIntact) {
    Bytes setup;
    ASSERT_TRUE(read_bytes(setup_exe(), &setup)) << setup_exe();
    ArchiveMap map;
    ASSERT_TRUE(map_archive(setup, &map)) << "no archive of whole blocks in " << setup_exe();
    std::map<std::string, Bytes> product;   // by upper-case name
    for (const FileInfo& f : list_files(product_dir()))
        ASSERT_TRUE(read_bytes(product_dir() + "\\" + f.name, &product[upper(f.name)])) << f.name;
    ASSERT_EQ(product.size(), map.entries.size()) << "the sample product is not what the setup carries";

    // The entries the table damages; ZUNO.exe stands for a compressed one.
    for (const char* name : {"UnInst.exe", "ZUNO.exe", "ZUNORES.DLL"})
        ASSERT_GE(find_entry(map, name), 0) << name << " is not in the setup";
    ASSERT_NE(map.entries[find_entry(map, "ZUNO.exe")].method, METHOD_STORED);
    std::vector<Variant> variants = make_variants(setup, map);
    ASSERT_NO_FATAL_FAILURE(make_own_folder());
    Figures figures;
    std::map<std::string, int> kinds;
    for (size_t i = 0; i < variants.size(); ++i) {
        const Variant& v = variants[i];
        SCOPED_TRACE(v.name);
        kinds[v.kind]++;
        // The sentinel: a folder holding only the damaged setup and, after OK, the install folder.
        const std::string sentinel = folder_ + "\\" + std::to_string(i);
        const std::string install = sentinel + "\\Ordavin";
        ASSERT_TRUE(CreateDirectoryA(sentinel.c_str(), nullptr));
        const std::string exe = sentinel + "\\Setup-x64.exe";
        ASSERT_TRUE(write_bytes(exe, v.bytes)) << exe;
        const std::vector<std::string> before = list_tree(sentinel);
        reset_install_state();

        ASSERT_TRUE(start(nullptr, exe));
        type_text(dialog_, ID_FOLDER, install);
        ASSERT_EQ(item_text(dialog_, ID_FOLDER), install);
        Outcome out = press_ok_and_answer();
        figures.runs++;

        std::string shown;
        for (const MessageBoxSeen& box : out.boxes)
            shown += "\n  \"" + box.text + "\" captioned \"" + box.caption + "\" (" + icon_name(box.icon) + ")";
        if (out.dialog_open)
            shown += "\n  the dialog stays, its progress line showing \"" + out.progress + "\"";
        printf("[ variant  ] %s, expected %s: %s%s\n", v.name.c_str(), expect_name(v.expect),
               out.success ? "success" : out.boxes.empty() ? "no message" : "failure", shown.c_str());

        // It ends, with 0 as always; after a failure the dialog waits for another try.
        ASSERT_TRUE(out.ended) << "the setup did not finish the install within " << kRunTimeout / 1000 << " s";
        EXPECT_EQ(out.exit_code, 0) << "the setup crashed or was ended";
        EXPECT_TRUE(out.success || (out.dialog_open && out.progress_shown))
            << "after a failure the dialog stays open, showing the progress line";

        // Every message is one of the setup's own; success comes last and after no error.
        for (size_t b = 0; b < out.boxes.size(); ++b) {
            const MessageBoxSeen& box = out.boxes[b];
            if (box.text == kSuccessText) {
                EXPECT_EQ(box.caption, kSuccessCaption);
                EXPECT_EQ(box.icon, Icon::information);
                EXPECT_EQ(b, 0u) << "success reported after an error:" << shown;
            } else {
                EXPECT_EQ(box.text, kCannotInstall);
                EXPECT_EQ(box.icon, Icon::error);
                EXPECT_FALSE(box.caption.empty()) << "a failure message names the file";
            }
            EXPECT_EQ(box.buttons.size(), 1u);
        }
        switch (v.expect) {
        case Expect::failure:
            EXPECT_FALSE(out.success) << "damage the data checksum catches was reported as success";
            EXPECT_FALSE(out.boxes.empty()) << "a damaged entry fails without a message";
            break;
        case Expect::no_archive:
            // Nothing found to install: no message (the design), the dialog stays, nothing written.
            EXPECT_TRUE(out.boxes.empty()) << shown;
            break;
        case Expect::either:
            break;
        }

        // Nothing beside the install folder.
        std::vector<std::string> after = list_tree(sentinel);
        after.erase(std::remove_if(after.begin(), after.end(),
                                   [](const std::string& p) { return p.compare(0, 8, "Ordavin\\") == 0; }),
                    after.end());
        EXPECT_EQ(after, before) << "written outside the install folder";

        // No file that failed its checksum stays.
        for (const MessageBoxSeen& box : out.boxes) {
            if (box.text != kCannotInstall || box.caption.empty())
                continue;
            std::string path = box.caption.find(':') != std::string::npos ? box.caption
                                                                              : install + "\\" + box.caption;
            EXPECT_FALSE(path_exists(path)) << path << " stays after its message";
        }

        // Every file written is a product file, byte for byte: under its own name, or under a name that
        // header damage changed.
        std::set<std::string> intact;
        int renamed = 0;
        for (const FileInfo& f : list_files(install)) {
            const std::string name = upper(f.name);
            Bytes bytes;
            ASSERT_TRUE(read_bytes(install + "\\" + f.name, &bytes)) << f.name;
            auto own = product.find(name);
            if (own != product.end()) {
                EXPECT_TRUE(bytes == own->second) << f.name << " differs from the product file";
                intact.insert(name);
                continue;
            }
            if (name == kIniRecord && out.success)
                continue;
            bool known = false;
            for (const auto& p : product)
                known = known || p.second == bytes;
            EXPECT_TRUE(known) << f.name << " holds data that is no product file";
            renamed++;
        }
        if (v.expect == Expect::no_archive) {
            EXPECT_TRUE(intact.empty() && renamed == 0) << "installed from no archive";
        }

        if (out.success) {
            figures.success++;
            if (intact.size() + renamed < product.size())
                figures.success_short.push_back(v.name);
        } else if (out.boxes.empty()) {
            figures.silent.push_back(v.name);
        } else {
            figures.messages[out.boxes.front().text]++;
        }
        figures.renamed += renamed;
        reset_install_state();
    }

    int messages = 0;
    for (const auto& m : figures.messages)
        messages += m.second;
    printf("[ figures  ] %d damaged setups through the real setup: %d success, %d ended with a message, %d "
           "without any\n", figures.runs, figures.success, messages, int(figures.silent.size()));
    for (const auto& m : figures.messages)
        printf("[ figures  ] ended with \"%s\": %d\n", m.first.c_str(), m.second);
    printf("[ figures  ] success with entries left out by header damage: %d%s\n",
           int(figures.success_short.size()), joined(figures.success_short).c_str());
    printf("[ figures  ] intact files written under a damaged name: %d\n", figures.renamed);
    printf("[ figures  ] no message, the dialog left open: %d%s\n", int(figures.silent.size()),
           joined(figures.silent).c_str());
    for (const auto& k : kinds)
        printf("[ figures  ] %s: %d variants\n", k.first.c_str(), k.second);
    // The damaged copies stay for a look when something failed.
    if (!HasFailure()) {
        EXPECT_TRUE(remove_tree(folder_)) << folder_;
    }
}

}  // namespace
}  // namespace ui
