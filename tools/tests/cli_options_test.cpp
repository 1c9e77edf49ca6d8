#include "cli_options.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

namespace huecl::tool {
namespace {

using namespace huecl::pages;

Command parse(std::vector<std::string> arguments) { return parseCommandLine(arguments); }

PrintCommand parsePrint(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "print");
    return std::get<PrintCommand>(parse(arguments));
}

std::string errorOf(std::vector<std::string> arguments) {
    try {
        parse(arguments);
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

TEST(PrintOptions, DefaultsRunTheScaledTwoBitPathOnTheTestPage) {
    const PrintCommand command = parsePrint({"-o", "out"});
    EXPECT_FALSE(command.image);
    EXPECT_EQ(command.outputFolder, "out");
    EXPECT_EQ(command.pageSize.width, 2480u);
    EXPECT_EQ(command.pageSize.height, 3508u);
    EXPECT_EQ(command.settings.source.x, 300u);
    EXPECT_EQ(command.settings.device.y, 600u);
    EXPECT_EQ(command.settings.ditherMode, 3u);
    EXPECT_GE(command.threads, 1u);
}

TEST(PrintOptions, EveryRecordFieldHasAnOption) {
    const PrintCommand command = parsePrint({"page.png",
                                             "-o",
                                             "dir",
                                             "--dither",
                                             "4bit",
                                             "--screen",
                                             "1",
                                             "--black-only",
                                             "--match",
                                             "direct",
                                             "--black-mode",
                                             "grey",
                                             "--grid",
                                             "9",
                                             "--source-dpi",
                                             "150x300",
                                             "--device-dpi",
                                             "600",
                                             "--brightness",
                                             "-30",
                                             "--saturation",
                                             "40",
                                             "--balance",
                                             "12,10,29",
                                             "--cmy-saturation",
                                             "-20",
                                             "--density",
                                             "15",
                                             "--band-height",
                                             "64",
                                             "--lzs-budget",
                                             "0",
                                             "--threads",
                                             "3",
                                             "--quiet",
                                             "--planes"});
    const PageSettings& s = command.settings;
    EXPECT_EQ(command.image, std::filesystem::path("page.png"));
    EXPECT_EQ(s.ditherMode, 1u);
    EXPECT_EQ(s.screenKind, 1u);
    EXPECT_TRUE(s.blackOnly);
    EXPECT_EQ(s.matchMethod, 0u);
    EXPECT_EQ(s.blackMode, 2u);
    EXPECT_EQ(s.gridSize, 9u);
    EXPECT_EQ(s.source.x, 150u);
    EXPECT_EQ(s.source.y, 300u);
    EXPECT_EQ(s.device.x, 600u);
    EXPECT_EQ(s.brightness, -30);
    EXPECT_EQ(s.saturation, 40);
    EXPECT_EQ(s.balance, (std::array<std::int32_t, 3>{12, 10, 29}));
    EXPECT_EQ(s.cmySaturation, -20);
    EXPECT_EQ(s.density, 15);
    EXPECT_EQ(s.bandHeight, 64u);
    EXPECT_EQ(s.lzsBudget, 0u);
    EXPECT_EQ(command.threads, 3u);
    EXPECT_TRUE(command.quiet);
    EXPECT_TRUE(command.writePlanes);
}

TEST(PrintOptions, NamedAndNumericSizes) {
    EXPECT_EQ(parsePrint({"-o", "d", "--size", "letter"}).pageSize.width, 2550u);
    const PageSize custom = parsePrint({"-o", "d", "--size", "64x48"}).pageSize;
    EXPECT_EQ(custom.width, 64u);
    EXPECT_EQ(custom.height, 48u);
}

TEST(PrintOptions, RefusesWhatTheRecordsCannotTake) {
    EXPECT_EQ(errorOf({"print", "-o", "d", "--screen", "4"}), "--screen must be 0 to 3, not 4");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--grid", "1"}), "--grid must be 2 to 64, not 1");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--lzs-budget", "256"}), "--lzs-budget must be 0 to 255, not 256");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--threads", "0"}), "--threads must be 1 to 256, not 0");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--density", "-129"}), "--density must be -128 to 255, not -129");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--balance", "10,10"}),
              "--balance needs three levels RED,GREEN,BLUE, not '10,10'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--balance", "10,31,10"}), "--balance must be 1 to 30, not 31");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--dither", "3bit"}),
              "--dither must be one of 1bit, 4bit, 1bit-spread, 2bit, not '3bit'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--engine", "earliest"}),
              "--engine must be one of later, earlier, not 'earliest'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--brightness", "ten"}), "--brightness needs a whole number, not 'ten'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--size", "10x"}), "--size needs a whole number, not ''");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--source-dpi", "100", "--device-dpi", "1700"}),
              "--source-dpi and --device-dpi may differ by at most a factor of 16");
}

TEST(PrintOptions, RefusesMalformedCommandLines) {
    EXPECT_EQ(errorOf({}), "no command given (see huecl --help)");
    EXPECT_EQ(errorOf({"paint"}), "unknown command 'paint' (see huecl --help)");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--colour"}), "unknown option '--colour' (see huecl --help)");
    EXPECT_EQ(errorOf({"print", "a.png"}), "print needs an output folder: -o DIR");
    EXPECT_EQ(errorOf({"print", "-o"}), "-o needs a value");
    EXPECT_EQ(errorOf({"print", "a.png", "b.png", "-o", "d"}), "print takes one image, not 'a.png' and 'b.png'");
}

TEST(PrintOptions, PageLayout) {
    EXPECT_FALSE(parsePrint({"-o", "d"}).layout);
    const PrintCommand fitted =
        parsePrint({"a.png", "-o", "d", "--page=letter", "--fit", "--centre", "--margins", "5"});
    ASSERT_TRUE(fitted.layout);
    EXPECT_EQ(fitted.layout->paper.name, "Letter");
    EXPECT_EQ(fitted.layout->scaling, ImageScaling::fit);
    EXPECT_TRUE(fitted.layout->centred);
    EXPECT_EQ(fitted.layout->margins.left, 5 * lengthUnitsPerMillimetre);
    const PrintCommand filled = parsePrint({"a.png", "-o", "d", "--page", "100x150mm", "--fill"});
    EXPECT_EQ(filled.layout->scaling, ImageScaling::fill);
    EXPECT_FALSE(filled.layout->centred);
    EXPECT_EQ(parsePrint({"-o", "d", "--page", "A3"}).layout->paper.height, 420 * lengthUnitsPerMillimetre);
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"a.png", "--page", "A4", "--fit", "--fill"},
         "--fit and --fill contradict each other: --fit shows the whole image, --fill covers the page"},
        {{"a.png", "--fill", "--page", "A4", "--fit"},
         "--fit and --fill contradict each other: --fit shows the whole image, --fill covers the page"},
        {{"a.png", "--fit"}, "--fit needs --page SIZE"},
        {{"a.png", "--margins", "3", "--center"}, "--margins needs --page SIZE"},
        {{"--page", "A4", "--size", "100x100"}, "--size and --page both set the test page's size: give one"},
        {{"--page", "A4", "--center"}, "--center places an image; the test page covers the whole page"},
        {{"--page", "A4", "--margins", "5"}, "--margins places an image; the test page covers the whole page"},
        {{"a.png", "--page", "B5"}, "--page must be A4, A3, A5, Letter, Legal, WxHmm, WxHin or WxHpt, not 'B5'"},
        {{"a.png", "--page", "A4", "--fit=yes"}, "--fit takes no value, not 'yes'"},
    };
    for (const auto& [arguments, message] : refusals) {
        std::vector<std::string> line{"print", "-o", "d"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        EXPECT_EQ(errorOf(line), message);
    }
}

TEST(OtherCommands, ParseTheirOperands) {
    const auto decode = std::get<DecodeCommand>(parse({"decode", "page.hcr", "-o", "planes"}));
    EXPECT_EQ(decode.raster, "page.hcr");
    EXPECT_EQ(decode.outputFolder, "planes");
    const auto lzs = std::get<LzsCommand>(parse({"lzs", "decompress", "in", "out", "--buffer", "16"}));
    EXPECT_FALSE(lzs.compress);
    EXPECT_EQ(lzs.bufferBytes, 16u);
    EXPECT_EQ(std::get<ScreensCommand>(parse({"screens", "-o", "s"})).outputFolder, "s");
    EXPECT_EQ(errorOf({"lzs", "pack", "in", "out"}), "usage: huecl lzs compress|decompress IN OUT");
    EXPECT_EQ(errorOf({"lzs", "compress", "in", "out", "--buffer", "15"}), "--buffer must be 16 to 16777216, not 15");
    EXPECT_EQ(errorOf({"decode", "page.hcr"}), "usage: huecl decode FILE.hcr -o DIR");
}

TEST(LzsEncoderOptions, ExactUnlessBestIsAsked) {
    EXPECT_EQ(parsePrint({"-o", "d"}).lzsEncoder, pages::LzsEncoder::exact);
    EXPECT_EQ(parsePrint({"-o", "d", "--lzs", "best"}).lzsEncoder, pages::LzsEncoder::best);
    EXPECT_EQ(parsePrint({"-o", "d", "--lzs=best", "--lzs", "exact"}).lzsEncoder, pages::LzsEncoder::exact);
    // The budget still applies: best keeps the exact stream where that is smaller.
    EXPECT_EQ(parsePrint({"-o", "d", "--lzs", "best", "--lzs-budget", "3"}).settings.lzsBudget, 3u);
    EXPECT_EQ(errorOf({"print", "-o", "d", "--lzs", "fast"}), "--lzs must be one of exact, best, not 'fast'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--lzs"}), "--lzs needs a value");

    EXPECT_FALSE(std::get<LzsCommand>(parse({"lzs", "compress", "a", "b"})).best);
    const auto best = std::get<LzsCommand>(parse({"lzs", "compress", "--best", "a", "b", "--raw"}));
    EXPECT_TRUE(best.best);
    EXPECT_TRUE(best.raw);
    EXPECT_EQ(errorOf({"lzs", "decompress", "a", "b", "--best"}), "--best is an option of lzs compress");
    EXPECT_EQ(errorOf({"lzs", "compress", "a", "b", "--best=yes"}), "--best takes no value, not 'yes'");
}

TEST(CommandLineHabits, EveryCommandAnswersHelp) {
    for (const std::string command : {"print", "decode", "lzs", "screens"})
        for (const std::string help : {"-h", "--help"}) {
            // Help wins even over a line that is otherwise incomplete.
            const auto answer = std::get<HelpCommand>(parse({command, "-o", "d", help, "--bogus"}));
            EXPECT_TRUE(answer.text.starts_with("usage: huecl " + command + " ")) << command << " " << help;
            EXPECT_NE(answer.text.find("-q, --quiet"), std::string::npos) << command;
            EXPECT_EQ(std::get<HelpCommand>(parse({"help", command})).text, answer.text);
        }
    const std::string general = std::get<HelpCommand>(parse({"--help"})).text;
    EXPECT_NE(general.find("--version"), std::string::npos);
    EXPECT_NE(usageText("decode").find("--preview-dpi"), std::string::npos);
    EXPECT_EQ(errorOf({"help", "paint"}), "unknown command 'paint' (see huecl --help)");
}

TEST(CommandLineHabits, ValuesMayBeJoinedWithEquals) {
    const PrintCommand joined = parsePrint({"--output=d", "--dither=4bit", "--balance=1,2,3", "--threads=2"});
    EXPECT_EQ(joined.outputFolder, "d");
    EXPECT_EQ(joined.settings.ditherMode, 1u);
    EXPECT_EQ(joined.settings.balance, (std::array<std::int32_t, 3>{1, 2, 3}));
    EXPECT_EQ(joined.threads, 2u);
    // An empty joined value is a value, and a short option never splits.
    EXPECT_EQ(errorOf({"print", "-o", "d", "--screen="}), "--screen needs a whole number, not ''");
    EXPECT_EQ(errorOf({"print", "-o=d"}), "unknown option '-o=d' (see huecl --help)");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--quiet=yes"}), "--quiet takes no value, not 'yes'");
    EXPECT_EQ(errorOf({"print", "-o", "d", "--black-only="}), "--black-only takes no value, not ''");
    // A value that itself holds '=' stays whole when given separately.
    EXPECT_EQ(parsePrint({"-o", "a=b"}).outputFolder, "a=b");
}

TEST(CommandLineHabits, QuietOnEveryCommand) {
    EXPECT_TRUE(parsePrint({"-o", "d", "-q"}).quiet);
    EXPECT_TRUE(std::get<DecodeCommand>(parse({"decode", "p.hcr", "-o", "d", "--quiet"})).quiet);
    EXPECT_TRUE(std::get<LzsCommand>(parse({"lzs", "compress", "a", "b", "-q"})).quiet);
    EXPECT_TRUE(std::get<ScreensCommand>(parse({"screens", "-q", "-o", "d"})).quiet);
    EXPECT_FALSE(std::get<ScreensCommand>(parse({"screens", "-o", "d"})).quiet);
}

TEST(CommandLineHabits, ForceOnEveryCommand) {
    EXPECT_TRUE(parsePrint({"-o", "d", "-f"}).force);
    EXPECT_FALSE(parsePrint({"-o", "d"}).force);
    EXPECT_TRUE(std::get<DecodeCommand>(parse({"decode", "p.hcr", "-o", "d", "--force"})).force);
    EXPECT_TRUE(std::get<LzsCommand>(parse({"lzs", "compress", "a", "b", "-f"})).force);
    EXPECT_TRUE(std::get<ScreensCommand>(parse({"screens", "-f", "-o", "d"})).force);
    for (const std::string command : {"print", "decode", "lzs", "screens"})
        EXPECT_NE(usageText(command).find("-f, --force"), std::string::npos) << command;
}

TEST(OtherCommands, DecodeSelectsPages) {
    const auto pagesOf = [](const std::string& list) {
        return std::get<DecodeCommand>(parse({"decode", "p.hcr", "-o", "d", "--pages", list})).pages;
    };
    EXPECT_TRUE(std::get<DecodeCommand>(parse({"decode", "p.hcr", "-o", "d"})).pages.all());
    const PageSelection range = pagesOf("2-4");
    EXPECT_FALSE(range.includes(1));
    EXPECT_TRUE(range.includes(2) && range.includes(4));
    EXPECT_FALSE(range.includes(5));
    EXPECT_EQ(range.last(), 4u);
    const PageSelection list = pagesOf("1,3,5-7");
    for (std::uint32_t page = 1; page <= 8; ++page)
        EXPECT_EQ(list.includes(page), page == 1 || page == 3 || (page >= 5 && page <= 7)) << page;
    EXPECT_EQ(list.last(), 7u);
    EXPECT_EQ(errorOf({"decode", "p.hcr", "-o", "d", "--pages", "0"}), "--pages must be 1 to 1000000, not 0");
    EXPECT_EQ(errorOf({"decode", "p.hcr", "-o", "d", "--pages", "4-2"}),
              "--pages: the range 4-2 ends before it starts");
    EXPECT_EQ(errorOf({"decode", "p.hcr", "-o", "d", "--pages", "2-"}),
              "--pages needs pages as FIRST-LAST or N, in a list with commas, not '2-'");
    EXPECT_EQ(errorOf({"decode", "p.hcr", "-o", "d", "--pages", "x"}), "--pages needs a whole number, not 'x'");
}

TEST(PrintOptions, BlackOnlyAloneMatchesByGrey) {
    EXPECT_EQ(parsePrint({"-o", "d", "--black-only"}).settings.matchMethod, 4u);
    EXPECT_EQ(parsePrint({"-o", "d", "--black-only", "--match", "invert"}).settings.matchMethod, 2u);
    EXPECT_EQ(parsePrint({"--match=interpolate", "-o", "d", "--black-only"}).settings.matchMethod, 1u);
    EXPECT_EQ(parsePrint({"-o", "d"}).settings.matchMethod, 1u);
}

}  // namespace
}  // namespace huecl::tool
