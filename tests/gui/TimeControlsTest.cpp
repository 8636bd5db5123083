// The time controls in real windows: the Time dialog's AM/PM and hour
// conversion, its resize rule, the clock's hands dragged with the mouse,
// and the interval control's spin and checks.
#include <wx/frame.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>

#include "base/StringTable.h"
#include "dialogs/ClockCtrl.h"
#include "dialogs/IntervalCtrl.h"
#include "dialogs/TimeDlg.h"
#include "gui/DialogDriver.h"

namespace tallyhawk::test {
namespace {

class TimeControlsTest : public ::testing::Test {
protected:
    TimeControlsTest() { SetPrompter(&prompter); }
    ~TimeControlsTest() override {
        for (wxWindow* window : {static_cast<wxWindow*>(dialog), static_cast<wxWindow*>(frame)})
            if (window) window->Destroy();
        PumpEvents();
        SetPrompter(nullptr);
    }
    CTimeDlg& OpenTime(int hour, int minute) {
        dialog = new CTimeDlg(nullptr);
        dialog->Set(hour, minute, 0);
        return *dialog;
    }
    // A mouse event at `p` sent to the clock.
    void Mouse(wxEventType type, wxPoint p) {
        CClockCtrl& clock = dialog->GetClock();
        wxMouseEvent event(type);
        event.SetPosition(p);
        event.SetEventObject(&clock);
        clock.GetEventHandler()->ProcessEvent(event);
    }
    wxPoint At(double degrees, double share) {
        const CClockGeometry g = dialog->GetClock().Geometry();
        const CPoint p = PointAt(g.centre, degrees, share * g.radius);
        return wxPoint(p.x, p.y);
    }

    CFakePrompter prompter;
    CTimeDlg* dialog = nullptr;
    wxFrame* frame = nullptr;
};

TEST_F(TimeControlsTest, AmPmAndTheHourGetReturns) {
    struct Case {
        int hour, minute;
        bool pm;
        int returned;
    };
    for (const Case& c : {Case{12, 30, true, 12}, Case{0, 30, false, 0}, Case{17, 5, true, 17}}) {
        OpenTime(c.hour, c.minute);
        int result = 0;
        WithModal([&] { result = dialog->ShowModal(); },
                  [&](wxDialog& shown) {
                      EXPECT_EQ(Find<wxRadioButton>(&shown, CTimeDlg::ID_PM)->GetValue(), c.pm);
                      EXPECT_EQ(Find<wxRadioButton>(&shown, CTimeDlg::ID_AM)->GetValue(), !c.pm);
                      Click(shown.FindWindow(wxID_OK));
                  });
        EXPECT_EQ(result, wxID_OK);
        int hour = -1, minute = -1, second = -1;
        dialog->Get(hour, minute, second);
        EXPECT_EQ(hour, c.returned);
        EXPECT_EQ(minute, c.minute);
        dialog->Destroy();
    }
    // No Cancel button: Escape and the close box end it with Cancel.
    OpenTime(9, 0);
    int result = 0;
    WithModal([&] { result = dialog->ShowModal(); },
              [&](wxDialog& shown) {
                  wxKeyEvent escape(wxEVT_CHAR_HOOK);
                  escape.m_keyCode = WXK_ESCAPE;
                  shown.GetEventHandler()->ProcessEvent(escape);
              });
    EXPECT_EQ(result, wxID_CANCEL);
    WithModal([&] { result = dialog->ShowModal(); }, [&](wxDialog& shown) { shown.Close(); });
    EXPECT_EQ(result, wxID_CANCEL);
}

TEST_F(TimeControlsTest, DraggingTheHandsAndTheDialogsResizeRule) {
    OpenTime(4, 50);
    dialog->Show();
    PumpUntil([this] { return dialog->IsShownOnScreen(); });
    CClockCtrl& clock = dialog->GetClock();
    int changes = 0;
    clock.Bind(EVT_CLOCK_CHANGED, [&](wxCommandEvent& event) {
        ++changes;
        EXPECT_EQ(event.GetInt(), clock.GetClockTime().hour);
        EXPECT_EQ(event.GetExtraLong(), clock.GetClockTime().minute);
    });

    // An empty part of the face: no drag, moving changes nothing.
    Mouse(wxEVT_LEFT_DOWN, At(45, 0.5));
    EXPECT_EQ(clock.GetDragMode(), 0);
    EXPECT_FALSE(clock.CursorAt(At(45, 0.5)).IsSameAs(clock.CursorAt(At(210, 0.6))));
    Mouse(wxEVT_MOTION, At(100, 0.7));
    Mouse(wxEVT_LEFT_UP, At(100, 0.7));
    EXPECT_EQ(clock.GetClockTime().minute, 50);

    // The minute hand from 50 past 12 to 5: the hour goes on; back again.
    Mouse(wxEVT_LEFT_DOWN, At(210, 0.6));
    EXPECT_EQ(clock.GetDragMode(), 2);
    Mouse(wxEVT_MOTION, At(270 + 31, 0.6));
    EXPECT_EQ(clock.GetClockTime().hour, 5);
    EXPECT_EQ(clock.GetClockTime().minute, 5);
    Mouse(wxEVT_MOTION, At(213, 0.6));
    EXPECT_EQ(clock.GetClockTime().hour, 4);
    Mouse(wxEVT_LEFT_UP, At(213, 0.6));
    EXPECT_EQ(clock.GetDragMode(), 0);
    EXPECT_EQ(changes, 2);

    // The hour hand (at about 5 to 5): turning it keeps the minute.
    Mouse(wxEVT_LEFT_DOWN, At(4 * 30 + 25 - 90, 0.4));
    EXPECT_EQ(clock.GetDragMode(), 1);
    Mouse(wxEVT_MOTION, At(0.5, 0.7));
    Mouse(wxEVT_LEFT_UP, At(0.5, 0.7));
    EXPECT_EQ(clock.GetClockTime().hour, 3);
    EXPECT_EQ(clock.GetClockTime().minute, 50);

    clock.SetTime(10, 10, 0);
    Screenshot(dialog, "time-dialog");

    dialog->SetClientSize(dialog->FromDIP(wxSize(400, 300)));
    PumpUntil([this] { return dialog->GetClientSize().x >= dialog->FromDIP(380); });
    const wxSize client = dialog->GetClientSize();
    const wxRect am = dialog->FindWindow(CTimeDlg::ID_AM)->GetRect();
    EXPECT_EQ(am.GetRight() + 1, client.x - dialog->FromDIP(10));
    const int margin = dialog->FromDIP(10);
    EXPECT_EQ(clock.GetRect(), wxRect(margin, margin, am.x - 3 - margin, client.y - 2 * margin));
    EXPECT_EQ(dialog->FindWindow(wxID_OK)->GetRect().GetBottom() + 1,
              client.y - dialog->FromDIP(10));
}

TEST_F(TimeControlsTest, IntervalSpinWrapsAndAFieldIsCheckedWhenLeft) {
    frame = new wxFrame(nullptr, wxID_ANY, "Interval");
    auto* interval = new CIntervalCtrl(frame, wxID_ANY);
    int changes = 0;
    frame->Bind(EVT_INTERVAL_CHANGED, [&](wxCommandEvent&) { ++changes; });
    frame->SetClientSize(interval->GetSize() + wxSize(16, 16));
    interval->Move(8, 8);
    frame->Show();
    PumpUntil([this] { return frame->IsShownOnScreen(); });
    interval->SetTime(SplitInterval(120));
    EXPECT_EQ(interval->GetField(IntervalField::Minutes)->GetValue(), "2");
    Screenshot(interval, "interval-control");

    auto spin = [&](IntervalField field, wxEventType direction) {
        interval->SetBuddy(field);
        wxSpinEvent event(direction, CIntervalCtrl::ID_SPIN);
        wxWindow* button = interval->FindWindow(CIntervalCtrl::ID_SPIN);
        event.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(event);
        return interval->GetField(field)->GetValue().utf8_string();
    };
    interval->GetField(IntervalField::Seconds)->SetValue("59");
    EXPECT_EQ(spin(IntervalField::Seconds, wxEVT_SPIN_UP), "0");
    EXPECT_EQ(spin(IntervalField::Seconds, wxEVT_SPIN_DOWN), "59");
    interval->GetField(IntervalField::Hours)->SetValue("24");
    EXPECT_EQ(spin(IntervalField::Hours, wxEVT_SPIN_UP), "0");
    EXPECT_EQ(JoinInterval(interval->GetTime()), 2 * 60 + 59);
    EXPECT_EQ(changes, 5);
    EXPECT_TRUE(prompter.errors.empty());

    // Typing goes uninterrupted; a field left empty is told of.
    wxTextCtrl* minutes = interval->GetField(IntervalField::Minutes);
    minutes->SetValue("");
    minutes->SetValue("7");
    minutes->SetValue("");
    EXPECT_TRUE(prompter.errors.empty());
    Leave(minutes, interval->GetField(IntervalField::Seconds));
    PumpEvents();
    EXPECT_EQ(prompter.errors, (std::vector<std::string>{"Please enter an integer."}));
    EXPECT_EQ(changes, 8);
}

}  // namespace
}  // namespace tallyhawk::test
