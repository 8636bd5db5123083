// The rules of the time entry controls that need no window: the interval
// control's fields and wrap-around, the Time dialog's hour conversion, and
// the clock face's geometry, hit test and drag rules.
//
// Clock angles are degrees clockwise from 3 o'clock in window coordinates
// (y grows downwards); 270 is 12 o'clock. A point at angle a and distance r
// is (cx + trunc(r cos a), cy + trunc(r sin a)).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tallyhawk {

// ---- Interval control (HH:MM:SS) ----

enum class IntervalField { Hours, Minutes, Seconds };

struct CHms {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// Seconds split into fields (hours not reduced), and back.
CHms SplitInterval(std::int32_t seconds);
std::int32_t JoinInterval(const CHms& hms);
// The largest value of a field: 24 for hours, 59 otherwise.
int IntervalFieldMaximum(IntervalField field);
// One spin step: value + step, below 0 becomes the maximum, above it 0.
int SpinIntervalField(int value, int step, int maximum);
// The three typed fields checked in order; the first failure gives the
// field and its message, else `hms` gets the values.
struct CIntervalProblem {
    IntervalField field;
    std::string message;
};
std::optional<CIntervalProblem> CheckInterval(const std::string& hours, const std::string& minutes,
                                              const std::string& seconds, CHms& hms);

// A retry-count or other spin edit's wrap: steps inside [lower, upper],
// leaving one end for the other.
int SpinWrap(int value, int step, int lower, int upper);

// ---- Time dialog ----

// Set's reduction: the clock's hour 0-11 and whether PM is checked.
struct CClockHour {
    int hour;
    bool pm;
};
CClockHour ClockHourFor(int hour);
// Get's conversion of the clock's hour to 0-23: AM keeps 0-11 (other values
// become 0); PM turns 0 into 12 and 1-11 into 13-23.
int HourFromClock(int clockHour, bool pm);

struct CRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const CRect&) const = default;
};
// Where a resize puts the Time dialog's controls: "&AM" and "&PM" against
// the right edge (less `margin`) at their own heights, OK in the lower right
// corner, and the clock from the left, top and bottom edges (less `margin`,
// so that its rings do not touch the frame) to 3 pixels left of "&AM". The
// buttons keep their sizes.
struct CTimeDialogLayout {
    CRect clock;
    CRect am;
    CRect pm;
    CRect ok;
};
CTimeDialogLayout LayOutTimeDialog(int clientWidth, int clientHeight, const CRect& am,
                                   const CRect& pm, const CRect& ok, int margin);

// "%I:%M%p" of a time of day, e.g. "08:00AM", "05:00PM".
std::string FormatClockTime(int hour, int minute);

// ---- Clock face ----

struct CClockTime {
    int hour = 12;  // 12 only before the first set
    int minute = 0;
    int second = 0;
};
// SetTime: |h| mod 12, |m| mod 60, |s| mod 60. Returns false (and changes
// nothing) when the values equal the stored ones exactly.
bool SetClockTime(CClockTime& time, int hour, int minute, int second);

struct CPoint {
    int x = 0;
    int y = 0;
    bool operator==(const CPoint&) const = default;
};

struct CClockGeometry {
    CPoint centre;
    int radius = 0;  // trunc(0.45 * min(width, height))
    int size = 0;    // min(width, height)
};
CClockGeometry ClockGeometryFor(int left, int top, int width, int height);

CPoint PointAt(CPoint centre, double degrees, double distance);

// The four points tip, side A, tail, side B of a hand.
using CHandPolygon = std::array<CPoint, 4>;
CHandPolygon HandPolygon(CPoint centre, double degrees, int length, int halfWidth);
CHandPolygon HourHand(const CClockGeometry& g, const CClockTime& t);
CHandPolygon MinuteHand(const CClockGeometry& g, const CClockTime& t);
// Which side carries the highlight edge: side A when the base angle is
// below 45 or above 225, else side B. Base angles: hour * 30 - 90 and
// minute * 6 - 90.
bool HighlightThroughSideA(double baseDegrees);

// Whether a pixel lies inside the polygon (winding fill).
bool PolygonContains(const CHandPolygon& polygon, CPoint p);
// 2 over the minute hand, 1 over the hour hand, 0 elsewhere; a point hits a
// hand when any pixel of the 3x3 block around it does.
int ClockHitTest(const CClockGeometry& g, const CClockTime& t, CPoint p);

// The clockwise angle from 3 o'clock of `p` seen from the centre, in (0, 360].
double DragAngle(CPoint centre, CPoint p);
// A drag step of the minute hand to `degrees`: passing 12 o'clock carries
// the hour (forwards from above 45 to below 15, backwards the other way,
// 0 going back to 11).
void DragMinuteHand(CClockTime& time, double degrees);
// A drag step of the hour hand; the minute stays.
void DragHourHand(CClockTime& time, double degrees);

}  // namespace tallyhawk
