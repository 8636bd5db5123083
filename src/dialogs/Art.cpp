#include "dialogs/Art.h"

#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <utility>

#include "dialogs/ArtData.h"

namespace tallyhawk {

namespace {

// The drawing of each ArtId, in the enumeration's order. The alert icon is
// drawn from the program icon's (see GetArtSvg).
constexpr const char* kArtFiles[] = {
    "program", "program",        "document",      "add",           "remove", "properties",
    "update",  "start-watching", "stop-watching", "tray-minimize", "help",   "clock-drag",
    "changed",
};
static_assert(std::size(kArtFiles) == static_cast<std::size_t>(ArtId::Changed) + 1);

const char* FileName(ArtId id) {
    return kArtFiles[static_cast<std::size_t>(id)];
}

std::string EmbeddedSvg(const char* name) {
    for (std::size_t i = 0; i < kEmbeddedSvgCount; ++i) {
        if (std::strcmp(kEmbeddedSvgs[i].name, name) == 0) {
            return std::string(reinterpret_cast<const char*>(kEmbeddedSvgs[i].text),
                               kEmbeddedSvgs[i].size);
        }
    }
    return {};
}

// What lies between a drawing's <svg ...> and </svg>.
std::string SvgBody(const std::string& svg) {
    const std::size_t open = svg.find("<svg");
    const std::size_t begin = open == std::string::npos ? open : svg.find('>', open);
    const std::size_t end = svg.rfind("</svg>");
    if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
    return svg.substr(begin + 1, end - begin - 1);
}

}  // namespace

std::string GetArtSvg(ArtId id) {
    std::string svg = EmbeddedSvg(FileName(id));
    if (id != ArtId::AlertIcon) return svg;
    // Both drawings share one view box, so the mark's shapes go in as they are.
    const std::size_t end = svg.rfind("</svg>");
    if (end == std::string::npos) return svg;
    return svg.insert(end, SvgBody(EmbeddedSvg("alert-mark")));
}

wxBitmapBundle GetArt(ArtId id, wxSize size) {
    // Parsed once per image and size: the tray asks for its icons every
    // time it flashes. Never freed: bitmaps must not outlive the toolkit,
    // which is shut down before static objects are destroyed.
    static auto& made = *new std::map<std::pair<int, std::pair<int, int>>, wxBitmapBundle>;
    const auto key = std::make_pair(static_cast<int>(id), std::make_pair(size.x, size.y));
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    const std::string svg = GetArtSvg(id);
    wxBitmapBundle bundle =
        wxBitmapBundle::FromSVG(reinterpret_cast<const wxByte*>(svg.data()), svg.size(), size);
    made.emplace(key, bundle);
    return bundle;
}

wxIconBundle GetProgramIcons() {
    wxIconBundle icons;
    const wxBitmapBundle art = GetArt(ArtId::ProgramIcon, wxSize(32, 32));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        wxIcon icon;
        icon.CopyFromBitmap(art.GetBitmap(wxSize(size, size)));
        icons.AddIcon(icon);
    }
    return icons;
}

}  // namespace tallyhawk
