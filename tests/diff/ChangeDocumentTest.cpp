// The change files as a browser gets them: removed text in the highlighted
// page, the page's address and character set, the documents of added and
// deleted lines, and what the changes to ignore leave out.
#include <gtest/gtest.h>

#include <string>

#include "diff/ChangeDetector.h"
#include "diff/ChangeDocument.h"

namespace tallyhawk {
namespace {

const std::string kAdded = "<b style=\"background:#FFFF64\">";
const std::string kRemovedStart = "<del style=\"background:#FF6464;text-decoration:line-through\">";

std::string Highlighted(const std::string& previous, const std::string& current,
                        std::uint32_t* flags = nullptr) {
    CChangeDetector detector;
    const std::uint32_t result = detector.Compare(previous, current);
    if (flags) *flags = result;
    return detector.HighlightedHtml();
}

TEST(ChangeDocumentTest, RemovedTextStandsEscapedWhereItWasAndOnlyWhereTextMayStand) {
    // A change that only removes: it counts, and now it shows.
    std::uint32_t flags = 0;
    EXPECT_EQ(Highlighted("<p>a</p>\n<p>Gone &amp; <i>lost</i></p>\n<p>c</p>\n",
                          "<p>a</p>\n<p>c</p>\n", &flags),
              "<p>a</p>\n" + kRemovedStart + "Gone &amp; lost</del><p>c</p>\n");
    EXPECT_TRUE(CChangeDetector::HasChanges(flags, OutputMode::HighlightedHtml));
    // A removal beside an addition goes first; an unclosed comment in the
    // removed text cannot swallow the page.
    EXPECT_EQ(Highlighted("<p>a</p>\nx & <!-- y", "<p>a</p>\nnew"),
              "<p>a</p>\n" + kRemovedStart + "x &amp; &lt;!-- y</del>" + kAdded + "new</b>");
    // Where the removal was is inside a tag in the new version: the text
    // goes in after the tag.
    EXPECT_EQ(Highlighted("a\nOld\nb\n", "<i\na\nb\n>c\n"),
              "<i\na\nb\n>" + kRemovedStart + "Old\n</del>" + kAdded + "c\n</b>");
    // Inside a script the place moves past it, and neither removed nor
    // added script is shown as text or wrapped in tags.
    EXPECT_EQ(Highlighted("<script>\nvar a;\n<p>gone</p>\nvar b;\n</script>\n<p>Old</p>\n",
                          "<script>\nvar a;\nvar b = '<p>';\n</script>\n<p>New</p>\n"),
              "<script>\nvar a;\nvar b = '<p>';\n</script>\n<p>" + kRemovedStart + "Old</del>" + kAdded +
                  "New</b></p>\n");
}

TEST(ChangeDocumentTest, IgnoredChangesAppearInNoOutput) {
    // A counter on a line of its own after a line that ends with a tag: the
    // line break leading into it is the first change of each kind, the
    // counter the second, so ignoring one change still shows it.
    const std::string previous = "<p>Hi</p>\n<span>Visitors: 41</span>\n<p>News</p>\n";
    const std::string current = "<p>Hi</p>\n<span>Visitors: 42</span>\n<p>News</p>\n";
    CChangeDetector one;
    one.SetIgnoreFirst(1);
    EXPECT_EQ(one.Compare(previous, current), AddedTextFlag | DeletedTextFlag);
    EXPECT_EQ(one.HighlightedHtml(), "<p>Hi</p>\n<span>" + kRemovedStart + "Visitors: 41</del>" +
                                         kAdded + "Visitors: 42</b></span>\n<p>News</p>\n");
    for (int begin : {0, 2}) {
        const int end = 2 - begin;
        CChangeDetector two;
        two.SetIgnoreFirst(begin);
        two.SetIgnoreLast(end);
        EXPECT_EQ(two.Compare(previous, current), NoChange) << begin;
        EXPECT_EQ(two.HighlightedHtml(), current) << begin;
        for (OutputMode mode : {OutputMode::AddedText, OutputMode::DeletedText,
                                OutputMode::AddedHtml, OutputMode::DeletedHtml})
            EXPECT_EQ(two.Output(mode), "") << begin;
    }
}

TEST(ChangeDocumentTest, HighlightedPageGetsItsAddressAndCharacterSet) {
    const CChangeContext context{"http://example.com/a?b=1&c=\"2\"", "Shop", "ISO-8859-1", ""};
    auto compose = [&](const std::string& previous, const std::string& current) {
        CChangeDetector detector;
        detector.SetContext(context);
        detector.Compare(previous, current);
        return detector.HighlightedHtml();
    };
    const std::string head =
        "<meta charset=\"ISO-8859-1\">\n<base "
        "href=\"http://example.com/a?b=1&amp;c=&quot;2&quot;\">\n";
    EXPECT_EQ(compose("<html><head><title>T</title></head><body>a</body></html>",
                      "<html><head><title>T</title></head><body>b</body></html>"),
              "<html><head>" + head + "<title>T</title></head><body>" + kRemovedStart + "a</del>" +
                  kAdded + "b</b></body></html>");
    // A base of its own is kept alone; without a head the block follows <html>.
    EXPECT_EQ(compose("<HTML><base href=\"/x/\">\n<p>a</p>", "<HTML><base href=\"/x/\">\n<p>b</p>"),
              "<HTML><meta charset=\"ISO-8859-1\">\n<base href=\"/x/\">\n<p>" + kRemovedStart +
                  "a</del>" + kAdded + "b</b></p>");
    // A bare fragment gets it after its doctype, or at the start; an
    // unchanged page too. A <head> in a comment or a script is no head.
    EXPECT_EQ(compose("<!DOCTYPE html>\n<!-- <head> -->x", "<!DOCTYPE html>\n<!-- <head> -->x"),
              "<!DOCTYPE html>" + head + "\n<!-- <head> -->x");
    EXPECT_EQ(compose("a", "<script>'<head>'</script>"),
              head + "<script>'<head>'</script>" + kRemovedStart + "a</del>");

    EXPECT_EQ(CharsetFromContentType("text/html; Charset=\"utf-8\""), "utf-8");
    EXPECT_EQ(CharsetFromContentType("text/html;charset=windows-1252 ; q=1"), "windows-1252");
    EXPECT_EQ(CharsetFromContentType("text/html; charset=\"><script>\""), "");
    EXPECT_EQ(CharsetFromContentType("text/html"), "");
}

TEST(ChangeDocumentTest, AddedAndDeletedLinesBecomeADocumentThatNamesThePage) {
    CChangeDetector detector;
    detector.SetContext({"http://example.com/caf\xC3\xA9", "Tom & <Jerry> \xC3\xA9t\xE9", "",
                         "Mon 2 Jun 2025 10:00"});
    const std::string previous =
        "<head><meta http-equiv=Content-Type content='text/html; "
        "charset=koi8-r'></head>\n<p>a</p>\n";
    detector.Compare(previous, "<head></head>\n<p>b</p>\n");
    const std::string& added = detector.AddedHtml();
    EXPECT_EQ(added.rfind(
                  "<!DOCTYPE html>\n<html>\n<head>\n<base href=\"http://example.com/caf%C3%A9\">\n"
                  "<title>Added to Tom &amp; &lt;Jerry&gt; &#233;t&#233;</title>\n",
                  0),
              0u)
        << added;
    EXPECT_NE(
        added.find("<a href=\"http://example.com/caf%C3%A9\">http://example.com/caf&#233;</a>"),
        std::string::npos);
    EXPECT_NE(added.find("Changes found Mon 2 Jun 2025 10:00</div>\n<head></head>\n<p>b</p>\n\n"
                         "</body>\n</html>\n"),
              std::string::npos)
        << added;
    // The deleted lines come from the previous version, whose own charset
    // stands when the download's is unknown.
    EXPECT_NE(detector.DeletedHtml().find("<head>\n<meta charset=\"koi8-r\">\n<base href="),
              std::string::npos)
        << detector.DeletedHtml();
    EXPECT_NE(detector.DeletedHtml().find("<title>Deleted from Tom"), std::string::npos);
    // Nothing added: no document either.
    detector.Compare("<p>a</p>\n<p>b</p>\n", "<p>a</p>\n");
    EXPECT_EQ(detector.AddedHtml(), "");
}

}  // namespace
}  // namespace tallyhawk
