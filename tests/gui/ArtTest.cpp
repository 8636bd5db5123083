// The program's images: every one is built in and renders at the asked size,
// the alert icon carries its mark, the window icons cover the desktop's sizes,
// and the built-in drawing matches the installed PNG renderings.
#include <gtest/gtest.h>
#include <wx/image.h>

#include <cstdlib>
#include <string>

#include "dialogs/Art.h"
#include "gui/GuiTestMain.h"

namespace tallyhawk::test {
namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

wxImage Render(ArtId id, int size) {
    return GetArt(id, wxSize(16, 16)).GetBitmap(wxSize(size, size)).ConvertToImage();
}

// A colour channel weighted by coverage, so that transparent pixels compare
// equal whatever colour a renderer leaves in them.
int Premultiplied(const wxImage& image, int x, int y, int channel) {
    const unsigned char* rgb = image.GetData() + 3 * (y * image.GetWidth() + x);
    return image.HasAlpha() ? rgb[channel] * image.GetAlpha(x, y) / 255 : rgb[channel];
}

bool IsAlertRed(const wxImage& image, int x, int y) {
    return image.GetRed(x, y) > 190 && image.GetGreen(x, y) < 90 && image.GetBlue(x, y) < 70;
}

TEST(ArtTest, EveryImageRendersAtTheAskedSizes) {
    for (int id = static_cast<int>(ArtId::ProgramIcon); id <= static_cast<int>(ArtId::Changed); ++id) {
        SCOPED_TRACE(GetArtSvg(ArtId(id)).substr(0, 160));
        EXPECT_EQ(GetArt(ArtId(id), wxSize(24, 24)).GetDefaultSize(), wxSize(24, 24));
        for (int size : {16, 32}) {
            const wxImage image = Render(ArtId(id), size);
            ASSERT_EQ(image.GetSize(), wxSize(size, size));
            // Something is drawn, and not a filled square.
            int opaque = 0;
            for (int i = 0; i < size * size; ++i) opaque += image.GetAlpha()[i] > 0;
            EXPECT_GT(opaque, size * size / 6);
            EXPECT_LT(opaque, size * size);
        }
    }
}

TEST(ArtTest, AlertIconIsTheProgramIconWithAMarkSeenAtSixteenPixels) {
    const wxImage program = Render(ArtId::ProgramIcon, 16);
    const wxImage alert = Render(ArtId::AlertIcon, 16);
    int marked = 0;
    for (int y = 0; y < 7; ++y) {
        for (int x = 8; x < 16; ++x) {
            marked += IsAlertRed(alert, x, y);
            EXPECT_FALSE(IsAlertRed(program, x, y)) << x << "," << y;
        }
    }
    EXPECT_GE(marked, 12);          // a blob the eye finds at once, not a stray pixel
    for (int y = 9; y < 16; ++y) {  // the lower left is the program icon untouched
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(Premultiplied(alert, x, y, 2), Premultiplied(program, x, y, 2));
    }
}

TEST(ArtTest, WindowIconsAndInstalledRenderingsCoverTheDesktopSizes) {
    const wxIconBundle icons = GetProgramIcons();
    EXPECT_EQ(icons.GetIconCount(), std::size(kIconSizes));
    for (int size : kIconSizes) {
        EXPECT_EQ(icons.GetIcon(wxSize(size, size), wxIconBundle::FALLBACK_NONE).GetWidth(), size);
        const std::string folder = std::string(TALLYHAWK_SOURCE_DIR) + "/res/icons/hicolor/" +
                                   std::to_string(size) + "x" + std::to_string(size) + "/apps/";
        for (const auto& [id, name] : {std::pair{ArtId::ProgramIcon, "tallyhawk"},
                                       std::pair{ArtId::DocumentIcon, "tallyhawk-document"}}) {
            wxImage installed;
            const std::string path = folder + name + ".png";
            ASSERT_TRUE(installed.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG)) << path;
            ASSERT_EQ(installed.GetSize(), wxSize(size, size)) << path;
            if (size != 64) continue;
            // Two renderers never agree to the pixel; a stale PNG, or a shape
            // the built-in renderer drops, shows as a large difference.
            const wxImage built = Render(id, size);
            double difference = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        difference += std::abs(Premultiplied(built, x, y, c) -
                                               Premultiplied(installed, x, y, c));
                    }
                }
            }
            EXPECT_LT(difference / (size * size * 3), 6.0) << path;
        }
    }
}

}  // namespace
}  // namespace tallyhawk::test
