#include "cli/commandline.h"

#include "domino/error.h"
#include "domino/ftsearch.h"
#include "export/naming.h"
#include "export/outputformat.h"
#include "platform/text.h"
#include "platform/version.h"

#include <QCommandLineParser>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

constexpr int kMaxJobs = 64;

struct Parsed
{
    QCommandLineParser parser;
    QCommandLineOption output{{u"o"_s, u"output"_s}, QString(), u"dir"_s};
    QCommandLineOption view{u"view"_s, QString(), u"name"_s};
    QCommandLineOption allViews{u"all-views"_s};
    QCommandLineOption search{u"search"_s, QString(), u"query"_s};
    QCommandLineOption from{u"from"_s, QString(), u"n"_s};
    QCommandLineOption jobs{u"jobs"_s, QString(), u"n"_s};
    QCommandLineOption json{u"json"_s, QString(), u"file"_s};
    QCommandLineOption noContinue{u"no-continue"_s};
    QCommandLineOption format{u"format"_s, QString(), u"format"_s};
    QCommandLineOption noHtml{u"no-html"_s};
    QCommandLineOption server{u"server"_s, QString(), u"name"_s};
    QCommandLineOption user{u"user"_s, QString(), u"name"_s};
    QCommandLineOption passwordFd{u"password-fd"_s, QString(), u"fd"_s};
    // For the tests: smaller workbooks through the same run.
    QCommandLineOption sheetDocuments{u"sheet-rows"_s, QString(), u"n"_s};
    QCommandLineOption help{{u"h"_s, u"help"_s}};
    QCommandLineOption version{u"version"_s};

    Parsed()
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QCommandLineOption* option :
             {&output, &view, &allViews, &search, &from, &jobs, &json, &noContinue, &noHtml, &format, &server, &user,
              &passwordFd, &sheetDocuments, &help, &version})
            parser.addOption(*option);
    }
};

class UsageError
{
public:
    explicit UsageError(QString message) : m_message(std::move(message)) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// A whole number from least to most given to the option, or a usage error.
qint32 number(const QString& text, qint32 least, qint32 most, const QString& option)
{
    const std::optional<qint32> value = exporting::textToInteger(text);
    if (!value || *value < least || *value > most)
        throw UsageError(option + u" 应为"_s + QString::number(least) + u"到"_s + QString::number(most) +
                         u"之间的整数："_s + text);
    return *value;
}

// The parse error in Chinese: a password offered on the command line, an unknown option, or an
// option without its value.
QString parseError(const Parsed& parsed, const QStringList& arguments)
{
    const QStringList unknown = parsed.parser.unknownOptionNames();
    for (const QString& name : unknown) {
        if (name.startsWith(u"pass"_s) || name == u"pwd"_s || name == u"p"_s)
            return u"密码不能写在命令行上（别人能在进程列表和命令历史里看到它）：请在终端提示时输入，"_s
                   u"或用环境变量QUILLMERE_PASSWORD，或用 --password-fd 给出一个文件描述符"_s;
    }
    if (!unknown.isEmpty()) {
        QStringList shown;
        for (const QString& name : unknown)
            shown << platform::shownOption(name);
        return u"无法识别的选项："_s + shown.join(u", "_s);
    }
    return u"选项 "_s + arguments.last() + u" 缺少参数值"_s;
}

BatchOptions optionsOf(const Parsed& parsed)
{
    const QCommandLineParser& p = parsed.parser;
    BatchOptions options;
    options.sources = p.positionalArguments();
    options.output = p.value(parsed.output);
    options.views = p.values(parsed.view);
    options.allViews = p.isSet(parsed.allViews);
    options.jsonFile = p.value(parsed.json);
    options.continuePastSheet = !p.isSet(parsed.noContinue);
    options.htmlPages = !p.isSet(parsed.noHtml);
    options.server = p.value(parsed.server);
    options.user = p.value(parsed.user);
    if (options.sources.isEmpty())
        throw UsageError(u"缺少要导出的数据库：请给出.nsf文件或文件夹"_s);
    if (options.output.isEmpty())
        throw UsageError(u"缺少输出文件夹：请用 --output 给出"_s);
    if (p.isSet(parsed.search)) {
        options.search = platform::trimBlanks(p.value(parsed.search));
        if (options.search.isEmpty())
            throw UsageError(u"--search 的搜索条件不能为空"_s);
        try {
            domino::FTQuery::parse(options.search);
        } catch (const domino::DominoError& e) {
            throw UsageError(u"--search "_s + e.message());
        }
    }
    if (!options.views.isEmpty() && options.allViews)
        throw UsageError(u"--view 与 --all-views 只能用一个"_s);
    // A search without views searches each database's first view, as the window searches a database.
    if (options.views.isEmpty() && !options.allViews && options.search.isEmpty())
        throw UsageError(u"请用 --view 给出视图名，或用 --all-views 导出每个视图"_s);
    if (p.isSet(parsed.from))
        options.from = number(p.value(parsed.from), 1, std::numeric_limits<qint32>::max(), u"--from"_s);
    if (p.isSet(parsed.jobs))
        options.jobs = number(p.value(parsed.jobs), 1, kMaxJobs, u"--jobs"_s);
    if (p.isSet(parsed.format)) {
        const exporting::OutputFormat* format = exporting::formatNamed(p.value(parsed.format));
        if (!format)
            throw UsageError(u"--format 应为"_s + exporting::formatNames() + u"之一："_s + p.value(parsed.format));
        options.format = format->name;
        options.sheetDocuments = format->limits.rows - 1;
    }
    if (p.isSet(parsed.sheetDocuments))
        options.sheetDocuments = number(p.value(parsed.sheetDocuments), 1, options.sheetDocuments, u"--sheet-rows"_s);
    if (p.isSet(parsed.passwordFd)) {
        if (!options.serverMode())
            throw UsageError(u"--password-fd 只用于 --server"_s);
        options.passwordFd =
            number(p.value(parsed.passwordFd), 0, std::numeric_limits<qint32>::max(), u"--password-fd"_s);
    }
    return options;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    Parsed parsed;
    if (!parsed.parser.parse(arguments))
        return {std::nullopt, parseError(parsed, arguments), kExitUsage};
    if (parsed.parser.isSet(parsed.help))
        return {std::nullopt, helpText(), kExitExported};
    if (parsed.parser.isSet(parsed.version))
        return {std::nullopt, u"quillmere-export "_s + QStringLiteral(QUILL_VERSION), kExitExported};
    try {
        return {optionsOf(parsed), QString(), kExitExported};
    } catch (const UsageError& e) {
        return {std::nullopt, e.message(), kExitUsage};
    }
}

QString helpText()
{
    // What a workbook holds comes from the formats.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    const auto documents = [&chinese](const QString& name) {
        return chinese.toString(exporting::formatNamed(name)->limits.rows - 1);
    };
    const auto items = [&chinese](const QString& name) {
        return chinese.toString(exporting::formatNamed(name)->limits.columns - 1);
    };
    return uR"(用法：quillmere-export [选项] 来源… --output 文件夹

把Domino数据库的视图导出为Excel工作簿（.xls或.xlsx）或CSV文件，不用打开窗口。工作簿、附件文件夹
和导出日志与窗口中“导出数据”所写的完全相同。

来源：
  文件.nsf                     一个数据库文件
  文件夹                       文件夹及其子文件夹中的每个.nsf文件（与数据库树的扫描相同）
  --server 时                  服务器数据目录下的数据库路径或文件夹，如 业务\合同管理.nsf

选项：
  -o, --output 文件夹          输出文件夹（没有时新建）
  --view 视图名                要导出的视图；可以多次给出
  --all-views                  导出每个数据库的每个视图
  --search 搜索条件            只导出视图中全文搜索找到的文档；没有 --view 或 --all-views 时，
                               搜索每个数据库的第一个视图。搜索条件的写法与窗口的搜索框相同：
                               词之间用空格（都要有），"短语"，OR，NOT，括号，
                               [域名] CONTAINS 词
  --from N                     从第N个文档开始导出（缺省为1）
  --format xls|xlsx|csv        输出格式（缺省为xls），见下面的“格式”
  --jobs N                     同时导出N个视图；视图不够时，同时写一个视图的N个工作簿（缺省为1）
  --json 文件                  把结果写成JSON：每个视图的数据库、视图、格式、工作簿、文档数、附件数、用时与错误
  --no-continue                工作表写满时停下，不再接着写下一个工作簿
  --no-html                    不写网页（缺省时每个文档的文件夹中有一个“文档.html”，列出它的全部域和
                               正文，附件文件夹中有index.html列出导出的文档，用浏览器即可离线浏览）
  --server 服务器名            连接服务器导出，同时要给出 --user
  --user 登录名                服务器的登录名
  --password-fd N              从文件描述符N读入密码
  -h, --help                   显示本帮助
  --version                    显示版本

格式：
  xls   Excel 97-2003工作簿：一个工作表最多%1个文档、%2个域，一个单元格最多32,767个字符。列为起始
        文档的域；后面的文档有而起始文档没有的域不导出，结果中说明有多少（.xlsx和CSV导出全部域）。
  xlsx  Excel 2007及以后的工作簿：一个工作表最多%3个文档、%4个域，一个单元格最多32,767个字符。
        列为文档ID，然后是导出的所有文档的域（先是起始文档的，再按出现的先后）。
  csv   UTF-8（带字节顺序标记，Excel能直接认出中文）、逗号分隔、CRLF换行，每个视图一个文件，没有
        行数限制，列与xlsx相同。以 = + - @、制表符或回车开头的文本前面加一个单引号'，免得电子表格
        程序把它当作公式执行；-5、+1.5这样的数字照原样写出，仍是数字。
  每种格式里，所有值都是文本单元格，不是公式。超过单元格容量的文本在单元格中截断，全文另存为该文档
  附件文件夹中的“域名.txt”。

密码不能写在命令行上：依次取 --password-fd、环境变量QUILLMERE_PASSWORD，都没有时在终端上提示
输入（不回显）。

输出：只有一个数据库来源时，工作簿直接放在输出文件夹中；否则每个数据库一个子文件夹，按数据库
相对于来源文件夹（服务器：数据目录）的路径命名，去掉.nsf，多个来源时前面再加来源的名字。
工作簿名为 视图名_开始为第N个文档.xls（.xlsx、.csv）；视图的文档多于一个工作表能容纳的时，接着写
视图名_开始为第%5个文档.xls 等，直到视图结束。

续传：输出文件夹中的 quillmere-export.json 记下每个已完成的工作簿及其格式。再次运行同一命令时，
数据库、视图、格式、起始文档、视图的文档数和工作簿的内容都与记录相符的工作簿不再导出。
按Ctrl-C时正在写的工作簿不保存，已完成的都留下；再按一次立即退出。

退出状态：0 全部导出；1 有视图失败（其余照常导出）；2 参数有误、登录失败或没有找到可导出的
内容；130 或 143 被Ctrl-C或kill中断。
)"_s.arg(documents(u"xls"_s), items(u"xls"_s), documents(u"xlsx"_s), items(u"xlsx"_s),
         QString::number(exporting::formatNamed(u"xls"_s)->limits.rows));
}

} // namespace quill::cli
