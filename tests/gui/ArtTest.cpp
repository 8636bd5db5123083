// The program's images: every one is built in and renders at the asked size,
// the alert icon carries its mark, the window icons cover the desktop's sizes,
// and the built-in drawing matches the installed PNG renderings.
#include <gtest/gtest.h>
#include <wx/image.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "dialogs/Art.h"
#include "gui/GuiTestMain.h"

namespace tallyhawk::test {
namespace {

const ArtId kAll[] = {ArtId::ProgramIcon,   ArtId::AlertIcon,    ArtId::DocumentIcon,
                      ArtId::Add,           ArtId::Remove,       ArtId::Properties,
                      ArtId::Update,        ArtId::StartWatching, ArtId::StopWatching,
                      ArtId::TrayMinimize,  ArtId::Help};

wxImage Render(ArtId id, int size) {
    return GetArt(id, wxSize(16, 16)).GetBitmap(wxSize(size, size)).ConvertToImage();
}

// Share of pixels that are not fully transparent.
double Coverage(const wxImage& image) {
    if (!image.HasAlpha()) return 1.0;
    int opaque = 0;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) opaque += image.GetAlpha(x, y) > 0;
    }
    return static_cast<double>(opaque) / (image.GetWidth() * image.GetHeight());
}

// Colour channels weighted by coverage, so that transparent pixels compare
// equal whatever colour a renderer leaves in them.
int Premultiplied(const wxImage& image, int x, int y, int channel) {
    const int value = channel == 0   ? image.GetRed(x, y)
                      : channel == 1 ? image.GetGreen(x, y)
                                     : image.GetBlue(x, y);
    return image.HasAlpha() ? value * image.GetAlpha(x, y) / 255 : value;
}

bool IsAlertRed(const wxImage& image, int x, int y) {
    return image.GetRed(x, y) > 190 && image.GetGreen(x, y) < 90 && image.GetBlue(x, y) < 70;
}

TEST(ArtTest, EveryImageRendersAtTheAskedSizes) {
    for (ArtId id : kAll) {
        SCOPED_TRACE(GetArtSvg(id).substr(0, 160));
        ASSERT_TRUE(GetArt(id, wxSize(16, 16)).IsOk());
        for (int size : {16, 24, 32}) {
            const wxImage image = Render(id, size);
            ASSERT_TRUE(image.IsOk());
            EXPECT_EQ(image.GetWidth(), size);
            EXPECT_EQ(image.GetHeight(), size);
            // Something is drawn, and not a filled square.
            EXPECT_GT(Coverage(image), 0.15);
        }
        EXPECT_EQ(GetArt(id, wxSize(24, 24)).GetDefaultSize(), wxSize(24, 24));
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
    EXPECT_GE(marked, 12);  // a blob the eye finds at once, not a stray pixel
    // The lower left quarter is the program icon untouched.
    for (int y = 9; y < 16; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(alert.GetRed(x, y), program.GetRed(x, y));
            EXPECT_EQ(alert.GetBlue(x, y), program.GetBlue(x, y));
        }
    }
}

TEST(ArtTest, WindowIconsCoverTheDesktopSizes) {
    const wxIconBundle icons = GetProgramIcons();
    ASSERT_EQ(icons.GetIconCount(), 8u);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const wxIcon icon = icons.GetIcon(wxSize(size, size), wxIconBundle::FALLBACK_NONE);
        ASSERT_TRUE(icon.IsOk()) << size;
        EXPECT_EQ(icon.GetWidth(), size);
    }
}

TEST(ArtTest, BuiltInDrawingMatchesTheInstalledRenderings) {
    for (const auto& [id, name] : {std::pair{ArtId::ProgramIcon, "tallyhawk"},
                                   std::pair{ArtId::DocumentIcon, "tallyhawk-document"}}) {
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const std::string dims = std::to_string(size) + "x" + std::to_string(size);
            const std::string path = std::string(TALLYHAWK_SOURCE_DIR) + "/res/icons/hicolor/" +
                                     dims + "/apps/" + name + ".png";
            wxImage installed;
            ASSERT_TRUE(installed.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG)) << path;
            ASSERT_EQ(installed.GetSize(), wxSize(size, size)) << path;
            if (size != 64) continue;
            // Two renderers never agree to the pixel; a stale PNG or a shape
            // the built-in renderer drops shows as a large difference.
            const wxImage built = Render(id, size);
            double difference = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    for (int channel = 0; channel < 3; ++channel) {
                        difference += std::abs(Premultiplied(built, x, y, channel) -
                                               Premultiplied(installed, x, y, channel));
                    }
                }
            }
            EXPECT_LT(difference / (size * size * 3), 6.0) << path;
        }
    }
}

}  // namespace
}  // namespace tallyhawk::test
