// Finds the message boxes of this process, records what they show and answers them.
//
//   MsgBoxWatcher watcher;            // starts watching; answers every box with IDOK
//   run_code_that_shows_boxes();
//   ASSERT_EQ(watcher.boxes().size(), 1u);
//   EXPECT_EQ(watcher.boxes()[0].text, "Cannot install file.");
//   EXPECT_EQ(watcher.boxes()[0].icon, BOX_ICON_ERROR);
//
// A box counts once it is visible; it is answered by a click on the chosen button (IDOK by default, or the
// box's only button when that one is missing). The watcher stops when it goes out of scope.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

enum BoxIcon { BOX_ICON_NONE, BOX_ICON_ERROR, BOX_ICON_INFORMATION, BOX_ICON_QUESTION, BOX_ICON_WARNING,
               BOX_ICON_OTHER };

struct SeenBox {
    std::string text;
    std::string caption;
    BoxIcon icon;
    HWND owner;
    std::vector<int> buttons;  // ids of the box's push buttons
};

class MsgBoxWatcher {
public:
    explicit MsgBoxWatcher(int answer = IDOK);
    ~MsgBoxWatcher();
    MsgBoxWatcher(const MsgBoxWatcher&) = delete;
    MsgBoxWatcher& operator=(const MsgBoxWatcher&) = delete;

    // The button used for the boxes found from now on.
    void set_answer(int button);
    // The boxes seen so far, in the order they appeared.
    std::vector<SeenBox> boxes();
    void clear();

private:
    static DWORD WINAPI thread_main(void* self);
    void poll();

    HANDLE thread_;
    HANDLE stop_;
    CRITICAL_SECTION lock_;
    int answer_;
    std::vector<SeenBox> seen_;
    std::vector<HWND> answered_;
};

const char* box_icon_name(BoxIcon icon);
