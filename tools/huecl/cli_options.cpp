#include "cli_options.h"

#include "pages/page_error.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <span>
#include <string_view>
#include <thread>

namespace huecl::tool {

using namespace huecl::pages;
namespace {

constexpr NamedValue blackModes[] = {
    {"none", HUECL_BLACK_NONE}, {"pure", HUECL_BLACK_PURE}, {"grey", HUECL_BLACK_GREY}};
constexpr NamedValue engines[] = {{"later", 0}, {"earlier", 1}};
constexpr NamedValue planeFormats[] = {{"pnm", 0}, {"png", 1}, {"tiff", 2}};
constexpr NamedValue lzsEncoders[] = {{"exact", static_cast<std::uint32_t>(pages::LzsEncoder::exact)},
                                      {"best", static_cast<std::uint32_t>(pages::LzsEncoder::best)}};

std::string listNames(std::span<const NamedValue> table) {
    std::string names;
    for (const auto& entry : table) names += (names.empty() ? "" : ", ") + std::string(entry.name);
    return names;
}

// Walks the arguments and converts option values, naming the option in
// every complaint.
class ArgumentCursor {
public:
    explicit ArgumentCursor(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool done() {
        refuseUnusedValue();
        return next_ >= arguments_.size();
    }

    // The next argument; "--option=value" yields "--option" and keeps the
    // value for value() or attachedValue().
    std::string take() {
        refuseUnusedValue();
        std::string argument = arguments_[next_++];
        const auto equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos) {
            attached_ = argument.substr(equals + 1);
            argument.resize(equals);
            attachedTo_ = argument;
        }
        return argument;
    }

    std::string value(const std::string& option) {
        if (auto attached = attachedValue()) return *attached;
        if (next_ >= arguments_.size()) throw PageError(option + " needs a value");
        return arguments_[next_++];
    }

    // The value of an option whose value is optional: only "--option=value"
    // gives one, so that a following operand is never taken for it.
    std::optional<std::string> attachedValue() {
        auto attached = std::move(attached_);
        attached_.reset();
        return attached;
    }

    std::int64_t integer(const std::string& option, std::int64_t low, std::int64_t high) {
        return parseInteger(option, value(option), low, high);
    }

    std::uint32_t unsignedInteger(const std::string& option, std::uint32_t low, std::uint32_t high) {
        return static_cast<std::uint32_t>(integer(option, low, high));
    }

    std::uint32_t named(const std::string& option, std::span<const NamedValue> table) {
        const std::string text = value(option);
        for (const auto& entry : table)
            if (text == entry.name) return entry.value;
        throw PageError(option + " must be one of " + listNames(table) + ", not '" + text + "'");
    }

    static std::int64_t parseInteger(const std::string& option, const std::string& text, std::int64_t low,
                                     std::int64_t high) {
        std::int64_t number = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, number);
        if (error != std::errc() || stop != end) throw PageError(option + " needs a whole number, not '" + text + "'");
        if (number < low || number > high)
            throw PageError(option + " must be " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                            text);
        return number;
    }

private:
    void refuseUnusedValue() const {
        if (attached_) throw PageError(attachedTo_ + " takes no value, not '" + *attached_ + "'");
    }

    const std::vector<std::string>& arguments_;
    size_t next_ = 0;
    std::optional<std::string> attached_;
    std::string attachedTo_;
};

// "300" or "300x600": one resolution for both axes, or horizontal x vertical.
Resolution parseResolution(const std::string& option, const std::string& text) {
    const auto cross = text.find('x');
    const std::string horizontal = text.substr(0, cross);
    const std::string vertical = cross == std::string::npos ? horizontal : text.substr(cross + 1);
    return {static_cast<std::uint32_t>(ArgumentCursor::parseInteger(option, horizontal, 1, 4800)),
            static_cast<std::uint32_t>(ArgumentCursor::parseInteger(option, vertical, 1, 4800))};
}

PageSize parsePageSize(const std::string& text) {
    if (text == "a4") return a4At300Dpi;
    if (text == "letter") return {2550, 3300};
    const auto cross = text.find('x');
    if (cross == std::string::npos)
        throw PageError("--size must be a4, letter or WIDTHxHEIGHT in pixels, not '" + text + "'");
    return {static_cast<std::uint32_t>(ArgumentCursor::parseInteger("--size", text.substr(0, cross), 1, 20000)),
            static_cast<std::uint32_t>(ArgumentCursor::parseInteger("--size", text.substr(cross + 1), 1, 30000))};
}

std::array<std::int32_t, 3> parseBalance(const std::string& text) {
    std::array<std::int32_t, 3> levels{};
    size_t start = 0;
    for (size_t i = 0; i < 3; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 2) != (comma != std::string::npos))
            throw PageError("--balance needs three levels RED,GREEN,BLUE, not '" + text + "'");
        levels[i] = static_cast<std::int32_t>(
            ArgumentCursor::parseInteger("--balance", text.substr(start, comma - start), 1, 30));
        start = comma + 1;
    }
    return levels;
}

// "3", "2-5" or a list of them, "1,3,5-7": the pages decode writes.
PageSelection parsePageSelection(const std::string& text) {
    PageSelection selection;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t dash = part.find('-');
        const auto page = [&](const std::string& number) {
            if (number.empty())
                throw PageError("--pages needs pages as FIRST-LAST or N, in a list with commas, not '" + text + "'");
            return static_cast<std::uint32_t>(ArgumentCursor::parseInteger("--pages", number, 1, 1000000));
        };
        const std::uint32_t first = page(part.substr(0, dash));
        const std::uint32_t last = dash == std::string::npos ? first : page(part.substr(dash + 1));
        if (last < first) throw PageError("--pages: the range " + part + " ends before it starts");
        selection.ranges.emplace_back(first, last);
        if (comma == std::string::npos) return selection;
        start = comma + 1;
    }
}

// --planes, or --planes=FORMAT: a separate word after it is an operand.
PlaneFormat planeFormatOf(const std::optional<std::string>& format) {
    if (!format) return PlaneFormat::pnm;
    for (const auto& entry : planeFormats)
        if (*format == entry.name) return static_cast<PlaneFormat>(entry.value);
    throw PageError("--planes must be one of " + listNames(planeFormats) + ", not '" + *format + "'");
}

// The ranges of --max-pixels (pixels) and --max-memory (MiB), which print
// and decode share.
constexpr std::int64_t mostPixels = std::int64_t{1} << 40;
constexpr std::int64_t mostMebibytes = 1 << 20;

// --max-pixels and --max-memory for decode; false for any other option.
bool parseLimitOption(const std::string& option, ArgumentCursor& cursor, ImageLimits& limits) {
    if (option == "--max-pixels")
        limits.pixels = static_cast<std::uint64_t>(cursor.integer(option, 1, mostPixels));
    else if (option == "--max-memory")
        limits.memoryBytes = static_cast<std::uint64_t>(cursor.integer(option, 1, mostMebibytes)) << 20;
    else
        return false;
    return true;
}

[[noreturn]] void unknownOption(const std::string& argument) {
    throw PageError("unknown option '" + argument + "' (see huecl --help)");
}

// print's command line as given, before its options are checked against
// each other: what the options set, and what they said, for the check.
struct PrintRequest {
    PrintCommand command;
    bool haveOutput = false, haveMatch = false, haveSize = false;
    // Options that only one engine takes, to be checked once both are known.
    bool haveDither = false, haveGrid = false, diffusion = false;
    // Page layout, checked against each other once all are known.
    std::optional<PaperSize> paper;
    std::optional<Margins> margins;
    std::vector<std::string> placement;  // --fit, --fill, --center, --margins as given
    bool fit = false, fill = false, centred = false;
};

// How an option takes its value.
enum class ValueKind {
    none,      // a switch
    text,      // the next argument or "=value", converted where it lands
    integer,   // a whole number in [low, high]
    named,     // one of names
    attached,  // only "=value" gives one: a following word is an operand
};

// An option's value, converted as its kind says.
struct OptionValue {
    const std::string& option;  // as given: "-o" or "--output"
    std::string text;
    std::int64_t number = 0;
    std::optional<std::string> attached;
    std::uint32_t unsignedNumber() const { return static_cast<std::uint32_t>(number); }
    std::int32_t signedNumber() const { return static_cast<std::int32_t>(number); }
};

struct PrintOption {
    std::string_view name;
    std::string_view shortName;  // empty: none
    ValueKind kind;
    std::int64_t low = 0, high = 0;     // integer
    std::span<const NamedValue> names;  // named
    void (*land)(PrintRequest&, const OptionValue&);
};

using R = PrintRequest;
using V = OptionValue;

// Every option of print: one row each, in the order of the help.
const PrintOption printOptions[] = {
    {"--output",
     "-o",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.outputFolder = v.text, r.haveOutput = true; }},
    {"--size",
     "",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.pageSize = parsePageSize(v.text), r.haveSize = true; }},
    {"--page", "", ValueKind::text, 0, 0, {}, [](R& r, const V& v) { r.paper = parsePaperSize(v.text); }},
    {"--fit", "", ValueKind::none, 0, 0, {}, [](R& r, const V& v) { r.fit = true, r.placement.push_back(v.option); }},
    {"--fill", "", ValueKind::none, 0, 0, {}, [](R& r, const V& v) { r.fill = true, r.placement.push_back(v.option); }},
    {"--center",
     "--centre",
     ValueKind::none,
     0,
     0,
     {},
     [](R& r, const V& v) { r.centred = true, r.placement.push_back(v.option); }},
    {"--margins",
     "",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.margins = parseMargins(v.text), r.placement.push_back(v.option); }},
    {"--engine", "", ValueKind::named, 0, 0, engines,
     [](R& r, const V& v) { r.command.settings.engine = static_cast<EngineKind>(v.number); }},
    {"--dither", "", ValueKind::named, 0, 0, ditherModeNames,
     [](R& r, const V& v) { r.command.settings.ditherMode = v.unsignedNumber(), r.haveDither = true; }},
    {"--diffusion", "", ValueKind::none, 0, 0, {}, [](R& r, const V&) { r.diffusion = true; }},
    {"--screen",
     "",
     ValueKind::integer,
     0,
     3,
     {},
     [](R& r, const V& v) { r.command.settings.screenKind = v.unsignedNumber(); }},
    {"--black-only", "", ValueKind::none, 0, 0, {}, [](R& r, const V&) { r.command.settings.blackOnly = true; }},
    {"--match", "", ValueKind::named, 0, 0, matchMethodNames,
     [](R& r, const V& v) { r.command.settings.matchMethod = v.unsignedNumber(), r.haveMatch = true; }},
    {"--black-mode", "", ValueKind::named, 0, 0, blackModes,
     [](R& r, const V& v) { r.command.settings.blackMode = v.unsignedNumber(); }},
    {"--grid",
     "",
     ValueKind::integer,
     2,
     64,
     {},
     [](R& r, const V& v) { r.command.settings.gridSize = v.unsignedNumber(), r.haveGrid = true; }},
    {"--profile", "", ValueKind::text, 0, 0, {}, [](R& r, const V& v) { r.command.profile = v.text; }},
    {"--source-dpi",
     "",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.settings.source = parseResolution(v.option, v.text); }},
    {"--device-dpi",
     "",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.settings.device = parseResolution(v.option, v.text); }},
    {"--brightness",
     "",
     ValueKind::integer,
     -255,
     255,
     {},
     [](R& r, const V& v) { r.command.settings.brightness = v.signedNumber(); }},
    {"--saturation",
     "",
     ValueKind::integer,
     -200,
     200,
     {},
     [](R& r, const V& v) { r.command.settings.saturation = v.signedNumber(); }},
    {"--balance",
     "",
     ValueKind::text,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.settings.balance = parseBalance(v.text); }},
    {"--cmy-saturation",
     "",
     ValueKind::integer,
     -100,
     100,
     {},
     [](R& r, const V& v) { r.command.settings.cmySaturation = v.signedNumber(); }},
    {"--density",
     "",
     ValueKind::integer,
     -128,
     255,
     {},
     [](R& r, const V& v) { r.command.settings.density = v.signedNumber(); }},
    {"--band-height",
     "",
     ValueKind::integer,
     1,
     4096,
     {},
     [](R& r, const V& v) { r.command.settings.bandHeight = v.unsignedNumber(); }},
    {"--lzs-budget",
     "",
     ValueKind::integer,
     0,
     255,
     {},
     [](R& r, const V& v) { r.command.settings.lzsBudget = v.unsignedNumber(); }},
    {"--lzs", "", ValueKind::named, 0, 0, lzsEncoders,
     [](R& r, const V& v) { r.command.lzsEncoder = static_cast<LzsEncoder>(v.number); }},
    {"--threads", "", ValueKind::integer, 1, 256, {}, [](R& r, const V& v) { r.command.threads = v.unsignedNumber(); }},
    {"--preview-dpi",
     "",
     ValueKind::integer,
     1,
     4800,
     {},
     [](R& r, const V& v) { r.command.previewDpi = v.unsignedNumber(); }},
    {"--planes",
     "",
     ValueKind::attached,
     0,
     0,
     {},
     [](R& r, const V& v) { r.command.writePlanes = true, r.command.planeFormat = planeFormatOf(v.attached); }},
    {"--max-pixels",
     "",
     ValueKind::integer,
     1,
     mostPixels,
     {},
     [](R& r, const V& v) { r.command.imageLimits.pixels = static_cast<std::uint64_t>(v.number); }},
    {"--max-memory",
     "",
     ValueKind::integer,
     1,
     mostMebibytes,
     {},
     [](R& r, const V& v) { r.command.imageLimits.memoryBytes = static_cast<std::uint64_t>(v.number) << 20; }},
    {"--quiet", "-q", ValueKind::none, 0, 0, {}, [](R& r, const V&) { r.command.quiet = true; }},
    {"--force", "-f", ValueKind::none, 0, 0, {}, [](R& r, const V&) { r.command.force = true; }},
};

const PrintOption* findPrintOption(const std::string& given) {
    for (const PrintOption& option : printOptions)
        if (given == option.name || (!option.shortName.empty() && given == option.shortName)) return &option;
    return nullptr;
}

// Takes the option's value as its kind says and lands it in the request.
void takePrintOption(const PrintOption& entry, const std::string& option, ArgumentCursor& cursor, PrintRequest& r) {
    OptionValue value{option, {}, 0, std::nullopt};
    switch (entry.kind) {
        case ValueKind::none: break;
        case ValueKind::text: value.text = cursor.value(option); break;
        case ValueKind::integer: value.number = cursor.integer(option, entry.low, entry.high); break;
        case ValueKind::named: value.number = cursor.named(option, entry.names); break;
        case ValueKind::attached: value.attached = cursor.attachedValue(); break;
    }
    entry.land(r, value);
}

// The options checked against each other, once all are known.
PrintCommand validatePrint(PrintRequest r) {
    PrintCommand& command = r.command;
    PageSettings& s = command.settings;
    if (!r.haveOutput) throw PageError("print needs an output folder: -o DIR");
    // --black-only alone prints every colour as its grey; with --match the
    // method is the caller's.
    if (s.blackOnly && !r.haveMatch) printBlackOnly(s);
    if (s.engine == EngineKind::earlier) {
        // One bit per dot, screened or diffused; a 32-point table.
        if (r.haveDither && s.ditherMode != HUECL_DITHER_1BIT)
            throw PageError("--engine earlier prints 1 bit per dot: --dither must be 1bit");
        if (r.haveGrid && s.gridSize != 32)
            throw PageError("--engine earlier matches through 32 grid points per axis: --grid must be 32");
        if (s.cmySaturation != 0) throw PageError("--cmy-saturation needs --engine later");
        s.ditherMode = r.diffusion ? errorDiffusionMode : HUECL_DITHER_1BIT;
        s.gridSize = 32;
    } else if (r.diffusion) {
        throw PageError("--diffusion needs --engine earlier");
    }
    if (r.fit && r.fill)
        throw PageError("--fit and --fill contradict each other: --fit shows the whole image, --fill covers the page");
    if (!r.paper && !r.placement.empty()) throw PageError(r.placement.front() + " needs --page SIZE");
    if (r.paper && r.haveSize) throw PageError("--size and --page both set the test page's size: give one");
    if (r.paper && !command.image && !r.placement.empty())
        throw PageError(r.placement.front() + " places an image; the test page covers the whole page");
    if (r.paper)
        command.layout = LayoutRequest{*r.paper, r.margins.value_or(Margins{}),
                                       r.fit    ? ImageScaling::fit
                                       : r.fill ? ImageScaling::fill
                                                : ImageScaling::natural,
                                       r.centred};
    if (s.device.x > 16 * s.source.x || s.device.y > 16 * s.source.y || s.source.x > 16 * s.device.x ||
        s.source.y > 16 * s.device.y)
        throw PageError("--source-dpi and --device-dpi may differ by at most a factor of 16");
    if (command.threads == 0) command.threads = std::max(1u, std::thread::hardware_concurrency());
    return std::move(r.command);
}

PrintCommand parsePrint(ArgumentCursor& cursor) {
    PrintRequest request;
    while (!cursor.done()) {
        const std::string option = cursor.take();
        if (const PrintOption* entry = findPrintOption(option)) {
            takePrintOption(*entry, option, cursor, request);
        } else if (option.starts_with("-") && option != "-") {
            unknownOption(option);
        } else if (request.command.image) {
            throw PageError("print takes one image, not '" + request.command.image->string() + "' and '" + option +
                            "'");
        } else {
            request.command.image = option;
        }
    }
    return validatePrint(std::move(request));
}

DecodeCommand parseDecode(ArgumentCursor& cursor) {
    DecodeCommand command;
    bool haveOutput = false, haveRaster = false;
    while (!cursor.done()) {
        const std::string option = cursor.take();
        if (option == "-o" || option == "--output") {
            command.outputFolder = cursor.value(option);
            haveOutput = true;
        } else if (option == "--preview-dpi") {
            command.previewDpi = cursor.unsignedInteger(option, 1, 4800);
        } else if (option == "--profile") {
            command.profile = cursor.value(option);
        } else if (option == "--pages") {
            command.pages = parsePageSelection(cursor.value(option));
        } else if (option == "--planes") {
            command.writePlanes = true;
            command.planeFormat = planeFormatOf(cursor.attachedValue());
        } else if (parseLimitOption(option, cursor, command.limits)) {
        } else if (option == "-q" || option == "--quiet") {
            command.quiet = true;
        } else if (option == "-f" || option == "--force") {
            command.force = true;
        } else if (option.starts_with("-") && option != "-") {
            unknownOption(option);
        } else if (haveRaster) {
            throw PageError("decode takes one raster file");
        } else {
            command.raster = option;
            haveRaster = true;
        }
    }
    if (!haveRaster || !haveOutput) throw PageError("usage: huecl decode FILE.hcr -o DIR");
    return command;
}

LzsCommand parseLzs(ArgumentCursor& cursor) {
    LzsCommand command;
    std::vector<std::string> operands;
    while (!cursor.done()) {
        const std::string option = cursor.take();
        if (option == "--buffer")
            command.bufferBytes = cursor.unsignedInteger(option, 16, 1u << 24);
        else if (option == "--budget")
            command.budget = cursor.unsignedInteger(option, 0, 255);
        else if (option == "--best")
            command.best = true;
        else if (option == "-f" || option == "--force")
            command.force = true;
        else if (option == "--raw")
            command.raw = true;
        else if (option == "-q" || option == "--quiet")
            command.quiet = true;
        else if (option.starts_with("-") && option != "-")
            unknownOption(option);
        else
            operands.push_back(option);
    }
    if (operands.size() != 3 || (operands[0] != "compress" && operands[0] != "decompress"))
        throw PageError("usage: huecl lzs compress|decompress IN OUT");
    command.compress = operands[0] == "compress";
    if (command.best && !command.compress) throw PageError("--best is an option of lzs compress");
    command.input = operands[1];
    command.output = operands[2];
    return command;
}

ScreensCommand parseScreens(ArgumentCursor& cursor) {
    ScreensCommand command;
    bool haveOutput = false;
    while (!cursor.done()) {
        const std::string option = cursor.take();
        if (option == "-o" || option == "--output") {
            command.outputFolder = cursor.value(option);
            haveOutput = true;
        } else if (option == "--scale") {
            command.scale = cursor.unsignedInteger(option, 1, 64);
        } else if (option == "-q" || option == "--quiet") {
            command.quiet = true;
        } else if (option == "-f" || option == "--force") {
            command.force = true;
        } else {
            unknownOption(option);
        }
    }
    if (!haveOutput) throw PageError("usage: huecl screens -o DIR");
    return command;
}

}  // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    ArgumentCursor cursor(arguments);
    if (cursor.done()) throw PageError("no command given (see huecl --help)");
    const std::string command = cursor.take();
    if (command == "-h" || command == "--help") return HelpCommand{usageText()};
    if (command == "help") return HelpCommand{usageText(cursor.done() ? std::string() : cursor.take())};
    // Help wins over everything else on a command's line, as it does for
    // most tools, so that a half-typed command line can ask for it.
    const bool knownCommand = command == "print" || command == "decode" || command == "lzs" || command == "screens";
    for (size_t i = 1; knownCommand && i < arguments.size(); ++i)
        if (arguments[i] == "-h" || arguments[i] == "--help") return HelpCommand{usageText(command)};
    if (command == "--version") return VersionCommand{};
    if (command == "print") return parsePrint(cursor);
    if (command == "decode") return parseDecode(cursor);
    if (command == "lzs") return parseLzs(cursor);
    if (command == "screens") return parseScreens(cursor);
    throw PageError("unknown command '" + command + "' (see huecl --help)");
}

namespace {

constexpr const char* printHelp = R"(usage: huecl print [IMAGE] -o DIR [options]
Runs a page through the pipeline into DIR: the compressed raster page.hcr,
preview.png and summary.txt.
      IMAGE                  PNG, JPEG, TIFF (first page) or binary PPM/PGM (8 or 16 bits),
                             - for standard input; none: the built-in test page. CMYK JPEG
                             and TIFF go straight to halftoning (no matching or RGB options)
  -o, --output DIR           output folder; an earlier run's files in it are replaced
      --size SIZE            test page size: a4 (default, 300 dpi), letter or WIDTHxHEIGHT
      --page PAPER           print on paper of this size: A4, A3, A5, Letter, Legal, WxHmm,
                             WxHin or WxHpt (points); the image keeps its size at --source-dpi,
                             from the top-left margin, cut off at the margins; the test page
                             fills it. The raster is the area inside the margins, recorded
                             with the sheet, and the preview shows the whole sheet
      --fit                  with --page: scale the image to fit inside the margins
      --fill                 with --page: scale the image to cover the area inside the
                             margins, cut off evenly on both sides
      --center               with --page: centre the image inside the margins
      --margins MM[,R,B,L]   with --page: margins in millimetres, one for all sides or
                             TOP,RIGHT,BOTTOM,LEFT (default 0)
      --engine ENGINE        colour generation: later (default) or earlier
      --dither MODE          1bit, 2bit (default), 4bit or 1bit-spread; earlier: 1bit only
      --diffusion            earlier engine: error diffusion instead of the screens
      --screen KIND          screen selector 0-3 (default 3); earlier: screen mode
      --black-only           print the black plane only, matching by grey (--match black)
                             unless --match says otherwise
      --match METHOD         interpolate (default), direct, invert, eight or black
      --black-mode MODE      pure (default), grey or none
      --grid N               grid points per axis of the interpolated table, 2-64 (default 17;
                             earlier: always 32)
      --profile FILE.icc     build the colour table from a CMYK output profile
      --source-dpi R[xR]     source resolution (default 300)
      --device-dpi R[xR]     device resolution (default 600)
      --brightness N         -255 to 255 (default 0)
      --saturation N         RGB saturation, -200 to 200 (default 0)
      --balance R,G,B        balance levels 1-30, 10 neutral (default 10,10,10)
      --cmy-saturation N     CMYK saturation, -100 to 100 (default 0)
      --density N            density curve on all inks, -128 to 255 (default 0)
      --band-height ROWS     device rows per band, 1-4096 (default 128)
      --lzs-budget N         LZS match-search budget, 0-255 (default 8)
      --lzs ENCODER          exact (default): LZS_Compress; best: the optimal parse, smaller
                             streams of the same format, several times slower
      --threads N            bands processed in parallel (default: the cores)
      --preview-dpi N        preview resolution (default: the source's, within a megapixel)
      --planes[=FORMAT]      also write the planes uncompressed: pnm (PBM/PGM, the default),
                             png (1-, 2- or 4-bit grey) or tiff (planes.tif, a page per plane,
                             CCITT Group 4 for 1-bit planes)
      --max-pixels N         refuse larger images (default 268435456, 2^28)
      --max-memory MIB       most memory an image reader holds at once, and the largest
                             TIFF taken from a pipe (default 1024)
  -f, --force                replace a file in DIR that no earlier run of huecl wrote
  -q, --quiet                no progress bar
  -h, --help                 this help
)";

constexpr const char* decodeHelp = R"(usage: huecl decode FILE.hcr -o DIR [options]
Decodes a raster written by huecl print or the CUPS driver (- for standard
input) into DIR: preview.png (of the whole sheet, margins white, when the
raster records its sheet), and the planes when asked for; the pages of a
document as page-N-preview.png and so on. A file cut or damaged inside a
page has its whole pages before that page decoded, and then the page is
named in an error (exit status 1).
  -o, --output DIR           output folder; an earlier run's files in it are replaced
      --pages LIST           decode these pages only: N, FIRST-LAST or a list of them
                             with commas, such as 1,3,5-7 (default every page)
      --preview-dpi N        preview resolution (default as print chose it)
      --profile FILE.icc     the raster's profile, moved from where it was printed
      --planes[=FORMAT]      also write the planes: pnm (default), png or tiff, as print does
      --max-pixels N         refuse pages printed from more source pixels (default 268435456,
                             2^28)
      --max-memory MIB       most memory a page's bands and preview hold at once (default 1024)
  -f, --force                replace a file in DIR that no earlier run of huecl wrote
  -q, --quiet                no progress bar
  -h, --help                 this help
)";

constexpr const char* lzsHelp = R"(usage: huecl lzs compress|decompress IN OUT [options]
Streams a file through LZS with small buffers, as a driver would. IN or OUT
may be - for standard input or output. A .lzs file is framed: a magic, flags,
the stream, then the CRC-32 and length of the content, checked when
decompressing.
      --raw                  read or write a bare LZS stream, no frame
      --buffer N             bytes per read and write, 16-16777216 (default 1024)
      --budget N             match-search budget, 0-255 (default 8)
      --best                 compress with the optimal parse: smaller, several times slower,
                             and the whole input is held in memory (at most 2 GiB)
  -f, --force                replace an existing file OUT
  -q, --quiet                no progress bar
  -h, --help                 this help
)";

constexpr const char* screensHelp = R"(usage: huecl screens -o DIR [options]
Draws every threshold matrix of the library and every sample tile of the
earlier generation as a PNG, with index.txt.
  -o, --output DIR           output folder; an earlier run's files in it are replaced
      --scale N              pixels per threshold, 1-64 (default 8)
  -f, --force                replace a file in DIR that no earlier run of huecl wrote
  -q, --quiet                no progress bar
  -h, --help                 this help
)";

}  // namespace

std::string usageText(const std::string& command) {
    if (command == "print") return printHelp;
    if (command == "decode") return decodeHelp;
    if (command == "lzs") return lzsHelp;
    if (command == "screens") return screensHelp;
    if (!command.empty()) throw PageError("unknown command '" + command + "' (see huecl --help)");
    return R"(usage: huecl COMMAND [options]

  huecl print [IMAGE] -o DIR             run a page through the pipeline
  huecl decode FILE.hcr -o DIR           preview (and planes) from a raster
  huecl lzs compress|decompress IN OUT   stream a file through LZS
  huecl screens -o DIR                   draw every threshold matrix and sample tile as PNG
  huecl help COMMAND, huecl COMMAND -h   the options of a command
  huecl --version                        the version of the tool

An option's value follows it or is joined to it with '=': --dither 1bit or
--dither=1bit. An output folder's earlier run is replaced, files huecl never
wrote there are left alone, and one of them in the way of a new file is
refused; -f (--force) replaces it, as it replaces lzs's OUT.
)";
}

}  // namespace huecl::tool
