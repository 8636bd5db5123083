// The program's own images: the program, alert and document icons and the
// toolbar glyphs. They are SVG drawings built into the program, so they are
// sharp at every size and display scale.
//
// User-interface thread only (the bundles are made once and kept).
#pragma once

#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

#include <string>

namespace tallyhawk {

enum class ArtId {
    ProgramIcon,
    AlertIcon,  // the program icon with a change mark: pages wait to be seen
    DocumentIcon,
    Add,
    Remove,
    Properties,
    Update,
    StartWatching,
    StopWatching,
    TrayMinimize,
    Help,
    ClockDrag,  // the Time dialog's pointer over a clock hand
    Changed,    // the change mark alone, beside a page that waits to be seen
};

// The image `id` with `size` (in logical pixels) as its default size; the
// bundle renders any other size (a 2x display asks for twice as many pixels)
// from the drawing.
wxBitmapBundle GetArt(ArtId id, wxSize size);

// The program icon at the sizes a desktop asks a window for (16 to 256).
wxIconBundle GetProgramIcons();

// The SVG text of `id`; the alert icon's is the program icon's with the
// change mark laid over it.
std::string GetArtSvg(ArtId id);

}  // namespace tallyhawk
