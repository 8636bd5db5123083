// The main window where the desktop has no tray (no tray host on this test
// display): closing asks the Exit question and closes, minimizing only
// minimizes, since a hidden window could not be reached again.
#include "gui/FrameFixture.h"
#include "base/StringTable.h"

namespace tallyhawk::test {

class NoTrayTest : public FrameFixture {};

TEST_F(NoTrayTest, CloseAsksTheExitQuestionAndCloses) {
    ASSERT_FALSE(frame->HasTray());
    prompter.answers = {PromptAnswer::Cancel};
    frame->Close();
    PumpEvents();
    ASSERT_EQ(prompter.questions, (std::vector<std::string>{LoadString(IDS_CONFIRM_EXIT)}));
    EXPECT_TRUE(frame->IsShown());
    EXPECT_FALSE(frame->IsExitConfirmed());

    wxWeakRef<wxFrame> weak(frame);
    frame->Close();
    EXPECT_TRUE(PumpUntil([&] { return !weak; }));
    frame = nullptr;
}

TEST_F(NoTrayTest, StartedMinimizedTheWindowIsStillThere) {
    MakeFrameAgain();
    frame->ShowAtStart(true);
    PumpEvents(std::chrono::milliseconds(300));
    frame->Tick();
    EXPECT_TRUE(frame->IsShown());
}

TEST_F(NoTrayTest, MinimizingKeepsTheWindowReachable) {
    // The test display has no window manager to iconize windows, so only
    // the part that matters here is checked: the window is never hidden.
    frame->RunCommand(ID_VIEW_TRAY_MINIMIZE);
    PumpEvents(std::chrono::milliseconds(100));
    frame->Tick();
    PumpEvents();
    EXPECT_TRUE(frame->IsShown());
    frame->OnTrayCommand(ID_TRAY_MINIMIZE, -1);
    frame->Tick();
    PumpEvents();
    EXPECT_TRUE(frame->IsShown());
}

}  // namespace tallyhawk::test
