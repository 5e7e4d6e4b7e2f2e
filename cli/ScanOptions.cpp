#include "cli/ScanOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <charconv>

#include "download/CategoryFolder.h"
#include "platform/SettingValues.h"

namespace tavimo::cli {

namespace {

struct OptionName {
  const char* name;
  bool takesValue;
};

// Every option the command takes ("h" is --help's short form).
constexpr OptionName kOptions[] = {
    {"help", false},     {"json", false}, {"with-query", false}, {"warc", false},
    {"urls-from", true}, {"jobs", true},  {"detect", true},      {"save", true},
    {"category", true},  {"mode", true},  {"limit", true},
};

void AddOptions(QCommandLineParser& parser) {
  for (const OptionName& o : kOptions) {
    QStringList names{QString::fromLatin1(o.name)};
    if (names.front() == "help") names.prepend("h");
    parser.addOption(o.takesValue ? QCommandLineOption(names, {}, QStringLiteral("value"))
                                  : QCommandLineOption(names));
  }
}

// An option that takes the next argument as its value, as the argument spells it.
bool TakesValue(const std::string& argument) {
  return std::any_of(std::begin(kOptions), std::end(kOptions), [&](const OptionName& o) {
    return o.takesValue && argument == std::string("--") + o.name;
  });
}

// Why the parser refused the arguments, in the command's own words where it has them.
std::string ParseError(const QCommandLineParser& parser, const std::vector<std::string>& args) {
  const QStringList unknown = parser.unknownOptionNames();
  if (!unknown.isEmpty()) {
    const QString& name = unknown.front();
    return "unknown option " + std::string(name.size() == 1 ? "-" : "--") + name.toLatin1().toStdString();
  }
  if (!args.empty() && TakesValue(args.back())) return args.back() + " needs a value";
  return parser.errorText().toStdString();
}

std::optional<ScanOptions> Refuse(std::string& error, std::string why) {
  error = std::move(why);
  return std::nullopt;
}

}  // namespace

std::string UsageText() {
  return "usage: tavimo-scan [options] URL...\n"
         "       tavimo-scan [options] --urls-from FILE|-\n"
         "       tavimo-scan [options] --warc FILE...\n"
         "Lists the Flash movies (.swf) of web pages as Tavimo's window does: one line per movie,\n"
         "its URL, a tab and its save-as name (and a tab and cache or warc for a movie found in a\n"
         "cache or an archive). Pages that fail are reported on standard error.\n"
         "\n"
         "  --urls-from FILE|-   read page addresses from FILE (- = standard input), one per line\n"
         "  --warc FILE...       scan the pages recorded in web archives instead of fetching them\n"
         "  --jobs N             scan N pages at once (default 1)\n"
         "  --json               one JSON object per movie and line: url, name, page, pass, source\n"
         "  --with-query         also list references with a query or fragment after .swf\n"
         "                       (movie.swf?xml=config.xml); the name drops it\n"
         "  --detect MODE        page, cache (the page and the cached movies of its site) or\n"
         "                       all-cache (every cached movie); default: the window's setting\n"
         "  --save DIR           download the movies into DIR as the Download button does\n"
         "  --category NAME      ... into the sub-folder NAME of DIR (-- : DIR itself)\n"
         "  --mode MODE          cache, internet or copy-cache (default: the window's setting)\n"
         "  --limit NAME=VALUE   one of the settings' [limits] for this run, as pages=20\n"
         "                       (repeat it for several)\n"
         "  --help               this text\n"
         "\n"
         "Exit status: 0 every page was scanned, 1 some failed (or the results or the list could\n"
         "not be written or read), 2 bad usage.\n";
}

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::string& error) {
  // Byte for byte: an address or a file name need not be text of the locale, and the options'
  // names are ASCII.
  QStringList arguments{QStringLiteral("tavimo-scan")};
  for (const std::string& a : args)
    arguments << QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size()));
  QCommandLineParser parser;
  AddOptions(parser);
  if (!parser.parse(arguments)) return Refuse(error, ParseError(parser, args));

  ScanOptions o;
  const auto text = [&](const char* name) {
    return parser.value(QString::fromLatin1(name)).toLatin1().toStdString();
  };
  o.help = parser.isSet("help");
  o.json = parser.isSet("json");
  o.withQuery = parser.isSet("with-query");
  o.urlsFrom = text("urls-from");
  o.saveDir = text("save");
  o.category = text("category");
  if (parser.isSet("jobs")) {
    const std::string v = text("jobs");
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 256)
      return Refuse(error, "--jobs takes a number from 1 to 256");
    o.jobs = n;
  }
  if (parser.isSet("detect")) {
    o.detectMode = ModeOfWord(Setting::DetectOption, text("detect"));
    if (!o.detectMode) return Refuse(error, "--detect takes " + ModeWords(Setting::DetectOption));
  }
  if (parser.isSet("mode")) {
    o.downloadMode = ModeOfWord(Setting::DownloadOption, text("mode"));
    if (!o.downloadMode) return Refuse(error, "--mode takes " + ModeWords(Setting::DownloadOption));
  }
  for (const QString& limit : parser.values("limit")) {
    SettingValues check;
    const std::string nameValue = limit.toLatin1().toStdString();
    if (!check.SetLimit(nameValue, error)) return std::nullopt;
    const Setting id = FindLimit(nameValue.substr(0, nameValue.find('=')))->id;
    o.limits.emplace_back(id, check.Get(id));
  }
  // Addresses before --warc are pages, every one after it an archive. The parser keeps the
  // positional arguments in order but not where they stood among the options, so the part
  // before the first --warc (not taken as another option's value) is parsed alone to count
  // the pages in it.
  const QStringList positional = parser.positionalArguments();
  qsizetype pages = positional.size();
  const bool inWarcs = parser.isSet("warc");
  if (inWarcs) {
    std::size_t split = 0;
    while (split < args.size() && !(args[split] == "--warc" && !(split > 0 && TakesValue(args[split - 1]))))
      ++split;
    QCommandLineParser before;
    AddOptions(before);
    before.parse(arguments.mid(0, static_cast<qsizetype>(split) + 1));
    pages = before.positionalArguments().size();
  }
  for (qsizetype i = 0; i < positional.size(); ++i)
    (i < pages ? o.urls : o.warcs).push_back(positional[i].toLatin1().toStdString());

  if (o.help) return o;
  if (!o.category.empty() && o.saveDir.empty()) {
    error = "--category needs --save";
    return std::nullopt;
  }
  if (const std::string why = CategoryNameProblem(o.category); !why.empty()) {
    error = "--category takes a folder name: " + why;
    return std::nullopt;
  }
  if (inWarcs && o.warcs.empty()) {
    error = "--warc needs at least one file";
    return std::nullopt;
  }
  // An archive run fetches nothing: addresses given with it would be silently left out.
  if (!o.warcs.empty() && (!o.urls.empty() || !o.urlsFrom.empty())) {
    error = "page addresses and --urls-from cannot be given with --warc";
    return std::nullopt;
  }
  if (o.urls.empty() && o.urlsFrom.empty() && o.warcs.empty()) {
    error = "no page to scan";
    return std::nullopt;
  }
  return o;
}

}  // namespace tavimo::cli
