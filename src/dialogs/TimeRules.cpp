#include "dialogs/TimeRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "dialogs/SheetRules.h"

namespace tallyhawk {

CHms SplitInterval(std::int32_t seconds) {
    if (seconds < 0) seconds = 0;
    return {seconds / 3600, seconds / 60 % 60, seconds % 60};
}

std::int32_t JoinInterval(const CHms& hms) {
    return hms.hours * 3600 + hms.minutes * 60 + hms.seconds;
}

int IntervalFieldMaximum(IntervalField field) { return field == IntervalField::Hours ? 24 : 59; }

int SpinIntervalField(int value, int step, int maximum) {
    return SpinWrap(value, step, 0, maximum);
}

std::optional<CIntervalProblem> CheckInterval(const std::string& hours, const std::string& minutes,
                                              const std::string& seconds, CHms& hms) {
    // Read into a copy, so that a failure leaves `hms` as it was.
    CHms read;
    const struct {
        const std::string& text;
        IntervalField field;
        int& value;
    } steps[] = {{hours, IntervalField::Hours, read.hours},
                 {minutes, IntervalField::Minutes, read.minutes},
                 {seconds, IntervalField::Seconds, read.seconds}};
    for (const auto& step : steps) {
        const CIntRange range{0, IntervalFieldMaximum(step.field)};
        if (auto message = CheckInteger(step.text, range, step.value))
            return CIntervalProblem{step.field, *message};
    }
    hms = read;
    return std::nullopt;
}

int SpinWrap(int value, int step, int lower, int upper) {
    const int next = value + step;
    if (next < lower) return upper;
    if (next > upper) return lower;
    return next;
}

CClockHour ClockHourFor(int hour) {
    return {std::abs(hour) % 12, hour < 0 || hour > 11};
}

int HourFromClock(int clockHour, bool pm) {
    if (clockHour < 0 || clockHour > 11) clockHour = 0;
    if (!pm) return clockHour;
    return clockHour == 0 ? 12 : clockHour + 12;
}

CTimeDialogLayout LayOutTimeDialog(int clientWidth, int clientHeight, const CRect& am,
                                   const CRect& pm, const CRect& ok, int margin) {
    CTimeDialogLayout layout{{}, am, pm, ok};
    layout.am.x = clientWidth - margin - am.width;
    layout.pm.x = clientWidth - margin - pm.width;
    layout.ok.x = clientWidth - margin - ok.width;
    layout.ok.y = clientHeight - margin - ok.height;
    layout.clock = {margin, margin, std::max(0, layout.am.x - 3 - margin),
                    std::max(0, clientHeight - 2 * margin)};
    return layout;
}

std::string FormatClockTime(int hour, int minute) {
    const int twelve = hour % 12 == 0 ? 12 : hour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d%s", twelve, minute, hour < 12 ? "AM" : "PM");
    return text;
}

bool SetClockTime(CClockTime& time, int hour, int minute, int second) {
    if (hour == time.hour && minute == time.minute && second == time.second) return false;
    time.hour = std::abs(hour) % 12;
    time.minute = std::abs(minute) % 60;
    time.second = std::abs(second) % 60;
    return true;
}

CClockGeometry ClockGeometryFor(int left, int top, int width, int height) {
    const int size = std::min(width, height);
    return {{left + width / 2, top + height / 2}, static_cast<int>(0.45 * size), size};
}

CPoint PointAt(CPoint centre, double degrees, double distance) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return {centre.x + static_cast<int>(distance * std::cos(radians)),
            centre.y + static_cast<int>(distance * std::sin(radians))};
}

CHandPolygon HandPolygon(CPoint centre, double degrees, int length, int halfWidth) {
    return {PointAt(centre, degrees, length), PointAt(centre, degrees - 45, 2 * halfWidth),
            PointAt(centre, degrees - 180, 2 * halfWidth), PointAt(centre, degrees + 45, 2 * halfWidth)};
}

CHandPolygon HourHand(const CClockGeometry& g, const CClockTime& t) {
    return HandPolygon(g.centre, t.hour * 30 + t.minute * 0.5 - 90, static_cast<int>(0.8 * g.radius), 3);
}

CHandPolygon MinuteHand(const CClockGeometry& g, const CClockTime& t) {
    return HandPolygon(g.centre, t.minute * 6 - 90, static_cast<int>(0.95 * g.radius), 3);
}

bool HighlightThroughSideA(double baseDegrees) { return baseDegrees < 45 || baseDegrees > 225; }

bool PolygonContains(const CHandPolygon& polygon, CPoint p) {
    // Winding number at the pixel's centre, as a region fill decides it.
    const double px = p.x + 0.5;
    const double py = p.y + 0.5;
    int winding = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const CPoint a = polygon[i];
        const CPoint b = polygon[(i + 1) % polygon.size()];
        const double cross = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
        if (a.y <= py) {
            if (b.y > py && cross > 0) ++winding;
        } else if (b.y <= py && cross < 0) {
            --winding;
        }
    }
    return winding != 0;
}

namespace {

bool BlockHits(const CHandPolygon& polygon, CPoint p) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (PolygonContains(polygon, {p.x + dx, p.y + dy})) return true;
    return false;
}

}  // namespace

int ClockHitTest(const CClockGeometry& g, const CClockTime& t, CPoint p) {
    if (BlockHits(MinuteHand(g, t), p)) return 2;
    if (BlockHits(HourHand(g, t), p)) return 1;
    return 0;
}

double DragAngle(CPoint centre, CPoint p) {
    double alpha = std::atan2(static_cast<double>(centre.y - p.y), static_cast<double>(p.x - centre.x));
    if (alpha < 0) alpha += 2 * std::numbers::pi;
    return 360.0 - alpha * 180.0 / std::numbers::pi;
}

void DragMinuteHand(CClockTime& time, double degrees) {
    const int minute = (15 + static_cast<int>(degrees / 6)) % 60;
    int hour = time.hour;
    if (time.minute > 45 && minute < 15) {
        ++hour;
    } else if (time.minute < 15 && minute > 45) {
        --hour;
        if (hour == -1) hour = 11;
    }
    SetClockTime(time, hour, minute, time.second);
}

void DragHourHand(CClockTime& time, double degrees) {
    SetClockTime(time, (3 + static_cast<int>(degrees / 30)) % 12, time.minute, time.second);
}

}  // namespace tallyhawk
