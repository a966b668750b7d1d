// nlsxbe-admin: writes the stand-in component's databases, users and registry entries.

#include "admin.h"
#include "domino/loader.h"
#include "dxlimport.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quill::component;
using quill::platform::Error;

namespace {

QString helpText()
{
    return uR"(用法：nlsxbe-admin <命令> [参数]

  install [--domino 目录] [--notes 目录] [--data 数据目录] [--library libnlsxbe.so] [--no-register]
          [--registry 注册表文件]
      写注册表：\Software\Lotus\Domino 的 Path 与 DataPath，\Software\Lotus\Notes 的 Path
      （给出 --data 时也写 DataPath），以及会话类 InprocServer32 的默认值（组件库的完整路径）。
      不给 --domino 与 --notes 时两者都取随本工具安装的组件库所在目录。
      组件库缺省为 --domino（或 --notes）目录下的 libnlsxbe.so，没有时取随本工具安装的。
      注册表文件缺省为 $XDG_CONFIG_HOME/quillmere/registry.reg。
  create-db 文件.nsf [--title 标题]
  add-view 文件.nsf --name 视图名 --column 标题=域名|标题=公式 [--column ...]
          [--sort 列号(从1起)|created] [--descending] [--form 表单名] [--select 选择公式] [--alias 别名 ...]
      公式：Notes公式语言中视图常用的部分，如 @If(金额 > 1000; "大"; "小")、@Name([CN]; 作者)、
      @Text(@DocNumber)、@Created。--select 如 SELECT Form = "合同" | Form = "订单"；
      不给 --form 与 --select 时视图选择全部文档。
  add-docs 文件.nsf 文档.json         按下面的JSON格式添加文档
  import-dxl 文件.xml 文件.nsf [--title 标题]  导入DXL导出的数据库或文档（数据库不存在时新建）
  add-user names.nsf --name 用户名 --password 密码
  set-acl 文件.nsf --name 名称|-Default- --level 0|2|3|6 [--role 角色 ...]
      设置访问控制条目：级别（0 不能存取，2 读者，3 作者，6 管理者）与角色（如 Admin 或 [Admin]，
      取代条目原有的角色；不给 --role 时条目没有角色）。名称可为用户、目录中的组或 */O=组织 这样的通配名。
  set-group names.nsf --name 组名 [--member 成员 ...]
      使目录中的组恰好含有给出的成员（用户、其它组或通配名）；不给 --member 时删除该组。
      文档的读者域、作者域与访问控制列表按组识别用户，组可嵌套6层。
  add-server-name names.nsf 服务器名
  sample 数据目录                      生成示例数据目录（并打印登录用户与密码）
  generate 文件.nsf --count 文档数 [--items 每文档域数] [--richtext [--rich-body]] [--attachments-every N]
          [--readers-every N] [--words N] [--no-index]
      生成一个大数据库（视图“全部”），用于性能测试。缺省每个文档5个域；--items 补足到给定域数
      （文本与数字交替），--richtext 使最后一个域为RichText，--rich-body 使该域带有格式（粗体、表格、列表、
      PNG与GIF两张图片、网址链接和指向前一个文档的链接），如同从DXL导入，--attachments-every 每N个文档带两个附件，
      --readers-every 每N个文档带一个只列出“甲”的读者域（在服务器上只有甲能看到），
      --words 每个文档带一个N个中文词的文本域Text（每次生成相同），--no-index 不建全文索引（如旧版本生成的文件）。
  index 文件.nsf [--rebuild]
      建立全文索引，或使其与文档一致（--rebuild 重新建立）。分批写入，每批不到半秒，
      其它程序的读取只在每批提交时稍等。添加、导入与生成文档时索引随之更新。
  search 文件.nsf 搜索条件 [--view 视图名] [--max N]
      全文搜索：每行打印一个找到的文档的编号，按文档加入数据库的顺序（给出 --view 时按视图的顺序），
      最多N个（缺省全部），找到的个数打印在标准错误上。没有索引时先建立（文件不可写时逐个读取文档）。
      搜索条件：词（须都出现，词出现在文字中任何位置都算，不区分大小写）、"短语"（引号中的文字原样查找）、
      AND、OR、NOT、括号、[域名] CONTAINS 词 或 FIELD 域名 CONTAINS 词。
  --help                               显示本帮助
  --version                            显示版本

)"_s + admin::jsonSchemaHelp() +
           u"\n"_s;
}

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// A command's arguments as the parser found them; options are named with their dashes ("--title").
class Arguments
{
public:
    explicit Arguments(const QCommandLineParser& parser) : m_parser(parser) {}

    QString value(const QString& option) const { return m_parser.value(option.mid(2)); }
    QStringList values(const QString& option) const { return m_parser.values(option.mid(2)); }
    bool flag(const QString& option) const { return m_parser.isSet(option.mid(2)); }
    QString positional(qsizetype index) const { return m_parser.positionalArguments().at(index); }

    QString required(const QString& option) const
    {
        const QString text = value(option);
        if (text.isEmpty())
            throw Error(u"缺少 "_s + option);
        return text;
    }

private:
    const QCommandLineParser& m_parser;
};

// A wrong call of a command (a missing value, argument or option, or one too many): import-dxl answers it
// with its usage line and exit status 2, the other commands with the message and exit status 1.
class UsageError : public Error
{
public:
    explicit UsageError(const QString& message, bool missingValue = false)
        : Error(message), m_missingValue(missingValue)
    {
    }
    bool missingValue() const { return m_missingValue; }

private:
    bool m_missingValue;
};

struct Command
{
    QString name;
    QStringList valueOptions;
    QStringList flags;
    qsizetype positionals;
    std::function<void(const Arguments&)> run;
};

void runInstall(const Arguments& args)
{
    admin::InstallOptions options;
    options.dominoPath = args.value(u"--domino"_s);
    options.notesPath = args.value(u"--notes"_s);
    options.dataPath = args.value(u"--data"_s);
    options.registryFile = args.value(u"--registry"_s);
    QString library = args.value(u"--library"_s);
    for (QString* path : {&options.dominoPath, &options.notesPath, &options.dataPath, &library}) {
        if (!path->isEmpty())
            *path = QFileInfo(*path).absoluteFilePath();
    }
    if (options.registryFile.isEmpty())
        options.registryFile = quill::platform::registryFilePath();
    // The library that came with this tool: beside it in a build tree, in the private folder when installed.
    const QString ownComponentFolder = quill::platform::componentFolder(QCoreApplication::applicationDirPath());
    if (options.dominoPath.isEmpty() && options.notesPath.isEmpty())
        options.dominoPath = options.notesPath = QDir::cleanPath(ownComponentFolder);
    if (!args.flag(u"--no-register"_s)) {
        if (library.isEmpty()) {
            const QString folder = options.dominoPath.isEmpty() ? options.notesPath : options.dominoPath;
            const QString candidate = QDir(folder).filePath(QString::fromUtf16(quill::domino::kComponentFileName));
            library = QFileInfo::exists(candidate)
                          ? candidate
                          : QDir(ownComponentFolder).filePath(QString::fromUtf16(quill::domino::kComponentFileName));
        }
        options.libraryPath = library;
    }
    admin::install(options);
    print(stdout, u"已写入注册表："_s + options.registryFile);
    if (!options.libraryPath.isEmpty())
        print(stdout, u"已注册组件库："_s + options.libraryPath);
}

void runAddView(const Arguments& args)
{
    admin::ViewSpec view;
    view.name = args.required(u"--name"_s);
    for (const QString& column : args.values(u"--column"_s))
        view.columns.push_back(admin::parseColumn(column));
    view.form = args.value(u"--form"_s);
    view.selection = args.value(u"--select"_s).trimmed();
    if (!view.selection.isEmpty())
        admin::checkSelection(view.selection);
    view.aliases = args.values(u"--alias"_s);
    view.descending = args.flag(u"--descending"_s);
    const QString sort = args.value(u"--sort"_s);
    if (!sort.isEmpty() && sort != u"created"_s) {
        bool ok = false;
        view.sortColumn = sort.toInt(&ok) - 1;
        if (!ok || view.sortColumn < 0)
            throw Error(u"--sort 应为列号（从1起）或 created：" + sort);
    }
    const qint64 entries = admin::addView(args.positional(0), view);
    QStringList columns;
    for (const admin::ColumnSpec& column : view.columns)
        columns << column.title + u"="_s + (column.item.isEmpty() ? column.formula : column.item);
    print(stdout, u"已添加视图"_s + view.name + u"：共"_s + QString::number(view.columns.size()) + u"列（"_s +
                      columns.join(u"，"_s) + u"），选出"_s + QString::number(entries) + u"个文档"_s);
}

void runAddDocuments(const Arguments& args)
{
    const QString json = args.positional(1);
    QFile file(json);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(u"无法读取文件："_s + json + u"（"_s + file.errorString() + u"）"_s);
    const auto docs = admin::parseDocuments(file.readAll(), QFileInfo(json).absolutePath());
    admin::addDocuments(args.positional(0), docs);
    print(stdout, u"已添加"_s + QString::number(docs.size()) + u"个文档"_s);
}

void runSetAcl(const Arguments& args)
{
    const QString name = args.required(u"--name"_s);
    bool ok = false;
    const int level = args.required(u"--level"_s).toInt(&ok);
    if (!ok)
        throw Error(u"--level 应为0到6的数字"_s);
    const QStringList roles = admin::setAcl(args.positional(0), name, level, args.values(u"--role"_s));
    static const char16_t* const levels[] = {u"不能存取", u"存放者", u"读者", u"作者", u"编辑者", u"设计者", u"管理者"};
    print(stdout, u"已设置访问控制条目"_s + name.trimmed() + u"的级别为"_s + QString::number(level) + u"（"_s +
                      QString::fromUtf16(levels[level]) + u"）"_s +
                      (roles.isEmpty() ? QString() : u"，角色："_s + roles.join(u"、"_s)));
}

void runSetGroup(const Arguments& args)
{
    const QString name = args.required(u"--name"_s).trimmed();
    const QStringList members = admin::setGroup(args.positional(0), name, args.values(u"--member"_s));
    print(stdout, members.isEmpty() ? QString(u"已删除组"_s + name)
                                    : QString(u"组"_s + name + u"的成员："_s + members.join(u"、"_s)));
}

void runSample(const Arguments& args)
{
    const admin::SampleInfo info = admin::makeSample(args.positional(0));
    print(stdout, u"示例数据目录："_s + info.dataDir);
    print(stdout, u"服务器名："_s + info.serverName);
    print(stdout, u"登录用户："_s + info.userName + u"  密码："_s + info.password);
    print(stdout,
          u"受限用户："_s + info.guestName + u"  密码："_s + info.guestPassword + u"（无权访问 限制/机密.nsf）"_s);
    print(stdout,
          u"组：销售部，含组华东销售（成员："_s + info.userName + u"）；crm.nsf 的访问控制列表给销售部角色[Admin]"_s);
    print(stdout, u"读者域：crm.nsf 的第2至4个客户在服务器上只有"_s + info.userName + u"能看到（"_s + info.guestName +
                      u"看到250个中的247个）"_s);
}

// A whole number of at least `least` given to option, or the message.
int atLeast(const QString& text, int least, const QString& message)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < least)
        throw Error(message);
    return value;
}

void runGenerate(const Arguments& args)
{
    bool ok = false;
    const qint64 count = args.required(u"--count"_s).toLongLong(&ok);
    if (!ok || count < 0)
        throw Error(u"--count 应为文档数"_s);
    admin::GenerateOptions options;
    if (const QString items = args.value(u"--items"_s); !items.isEmpty())
        options.items = atLeast(items, 5, u"--items 应为不小于5的域数"_s);
    if (const QString every = args.value(u"--attachments-every"_s); !every.isEmpty())
        options.attachmentsEvery = atLeast(every, 1, u"--attachments-every 应为正整数"_s);
    if (const QString every = args.value(u"--readers-every"_s); !every.isEmpty())
        options.readersEvery = atLeast(every, 1, u"--readers-every 应为正整数"_s);
    if (const QString words = args.value(u"--words"_s); !words.isEmpty())
        options.words = atLeast(words, 1, u"--words 应为正整数"_s);
    options.richText = args.flag(u"--richtext"_s);
    options.richBody = args.flag(u"--rich-body"_s);
    options.fullText = !args.flag(u"--no-index"_s);
    QElapsedTimer timer;
    timer.start();
    admin::generate(args.positional(0), count, options);
    print(stdout,
          u"已生成"_s + QString::number(count) + u"个文档，用时"_s + QString::number(timer.elapsed()) + u"毫秒"_s);
}

void runImportDxl(const Arguments& args)
{
    QElapsedTimer timer;
    timer.start();
    const QString database = args.positional(1);
    const dxl::ImportReport report =
        dxl::importDxl(args.positional(0), database, dxl::ImportOptions{args.value(u"--title"_s)});
    print(stdout, (report.createdDatabase ? u"已新建数据库"_s : u"已写入数据库"_s) + database + u"：导入"_s +
                      QString::number(report.documents) + u"个文档（其中替换已有文档"_s +
                      QString::number(report.replacedDocuments) + u"个）、"_s + QString::number(report.views) +
                      u"个视图、"_s + QString::number(report.attachments) + u"个附件（"_s +
                      QString::number(report.attachmentBytes) + u"字节）、"_s + QString::number(report.aclEntries) +
                      u"条访问控制条目，用时"_s + QString::number(timer.elapsed()) + u"毫秒"_s);
    if (!report.madeView.isEmpty()) {
        print(stdout, u"数据库中没有视图，已新建视图"_s + report.madeView + u"（按创建顺序显示全部文档，列："_s +
                          report.madeViewColumns.join(u"、"_s) + u"）"_s);
    }
    for (const QString& notice : report.notices)
        print(stdout, u"提示："_s + notice);
}

void runIndex(const Arguments& args)
{
    QElapsedTimer timer;
    timer.start();
    // On a terminal the count of documents indexed so far, rewritten in place.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    qint64 indexed = 0;
    admin::updateFullTextIndex(args.positional(0), args.flag(u"--rebuild"_s), [&](qint64 done, qint64 total) {
        indexed = done;
        if (terminal) {
            const QByteArray line =
                (u"\r已索引"_s + QString::number(done) + u"/"_s + QString::number(total) + u"个文档"_s).toUtf8();
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        }
    });
    if (terminal)
        print(stderr, QString());
    print(stdout, u"已更新全文索引：索引了"_s + QString::number(indexed) + u"个文档，用时"_s +
                      QString::number(timer.elapsed()) + u"毫秒"_s);
}

void runSearch(const Arguments& args)
{
    int maxDocs = 0;
    if (const QString max = args.value(u"--max"_s); !max.isEmpty())
        maxDocs = atLeast(max, 0, u"--max 应为不小于0的整数"_s);
    const QStringList ids = admin::search(args.positional(0), args.positional(1), maxDocs, args.value(u"--view"_s));
    for (const QString& id : ids)
        print(stdout, id);
    print(stderr, u"找到"_s + QString::number(ids.size()) + u"个文档"_s);
}

void runCreateDatabase(const Arguments& args)
{
    const QString title = args.value(u"--title"_s);
    admin::createDatabase(args.positional(0), title);
    print(stdout,
          u"已新建数据库"_s + args.positional(0) + (title.isEmpty() ? QString() : u"（标题："_s + title + u"）"_s));
}

void runAddUser(const Arguments& args)
{
    const QString name = args.required(u"--name"_s).trimmed();
    const bool created = admin::addUser(args.positional(0), name, args.value(u"--password"_s));
    print(stdout, (created ? u"已添加用户"_s : u"已更新用户的密码："_s) + name);
}

void runAddServerName(const Arguments& args)
{
    const QString server = args.positional(1).trimmed();
    const bool added = admin::addServerName(args.positional(0), server);
    print(stdout, added ? u"已添加服务器名"_s + server : u"服务器名已存在："_s + server);
}

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
        {u"install"_s,
         {u"--domino"_s, u"--notes"_s, u"--data"_s, u"--registry"_s, u"--library"_s},
         {u"--no-register"_s},
         0,
         runInstall},
        {u"create-db"_s, {u"--title"_s}, {}, 1, runCreateDatabase},
        {u"add-view"_s,
         {u"--name"_s, u"--column"_s, u"--form"_s, u"--select"_s, u"--alias"_s, u"--sort"_s},
         {u"--descending"_s},
         1,
         runAddView},
        {u"add-docs"_s, {}, {}, 2, runAddDocuments},
        {u"import-dxl"_s, {u"--title"_s}, {}, 2, runImportDxl},
        {u"add-user"_s, {u"--name"_s, u"--password"_s}, {}, 1, runAddUser},
        {u"set-acl"_s, {u"--name"_s, u"--level"_s, u"--role"_s}, {}, 1, runSetAcl},
        {u"set-group"_s, {u"--name"_s, u"--member"_s}, {}, 1, runSetGroup},
        {u"add-server-name"_s, {}, {}, 2, runAddServerName},
        {u"sample"_s, {}, {}, 1, runSample},
        {u"generate"_s,
         {u"--count"_s, u"--items"_s, u"--attachments-every"_s, u"--readers-every"_s, u"--words"_s},
         {u"--richtext"_s, u"--rich-body"_s, u"--no-index"_s},
         1,
         runGenerate},
        {u"index"_s, {}, {u"--rebuild"_s}, 1, runIndex},
        {u"search"_s, {u"--view"_s, u"--max"_s}, {}, 2, runSearch},
    };
    return list;
}

// The arguments the command does not take, as its message shows them: an option that may carry a password
// only up to there, and the argument after it (which may be the password) not at all.
QStringList unknownArguments(const Command& command, const QStringList& arguments)
{
    QStringList unknown;
    qsizetype positionals = 0;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == u"--"_s) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.size() > 1 && argument.startsWith(u'-')) {
            const QString name = argument.section(u'=', 0, 0);
            const bool withValue = argument.contains(u'=');
            if (command.valueOptions.contains(name)) {
                i += withValue ? 0 : 1;
                continue;
            }
            if (command.flags.contains(name))
                continue;
            unknown << quill::platform::shownOption(argument);
            if (quill::platform::mayCarryPassword(argument) && !withValue && i + 1 < arguments.size() &&
                !arguments[i + 1].startsWith(u'-'))
                ++i;
            continue;
        }
        if (++positionals > command.positionals)
            unknown << argument;
    }
    return unknown;
}

// Parses a command's arguments (everything after its name) and runs it.
void run(const Command& command, const QStringList& arguments)
{
    QCommandLineParser parser;
    for (const QString& option : command.valueOptions)
        parser.addOption(QCommandLineOption(option.mid(2), QString(), u"value"_s));
    for (const QString& option : command.flags)
        parser.addOption(QCommandLineOption(option.mid(2)));
    // An option given last has nothing after it to be its value.
    if (!arguments.isEmpty() && command.valueOptions.contains(arguments.last()))
        throw UsageError(arguments.last() + u" 缺少参数值"_s, true);
    parser.parse(QStringList{command.name} + arguments);
    const QStringList positionals = parser.positionalArguments();
    if (positionals.size() < command.positionals)
        throw UsageError(u"缺少参数，请查看 --help"_s);
    if (!parser.unknownOptionNames().isEmpty() || positionals.size() > command.positionals)
        throw UsageError(u"无法识别的参数："_s + unknownArguments(command, arguments).join(u' '));
    command.run(Arguments(parser));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.contains(u"--help"_s) || args.contains(u"-h"_s)) {
        print(stdout, helpText());
        return args.isEmpty() ? 2 : 0;
    }
    // Options before the command are the tool's own; everything after it belongs to the command.
    QCommandLineParser tool;
    const QCommandLineOption version = tool.addVersionOption();
    tool.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (tool.parse(QCoreApplication::arguments()) && tool.isSet(version))
        tool.showVersion();

    const QString name = args.first();
    const auto& list = commands();
    const auto command = std::find_if(list.begin(), list.end(), [&](const Command& c) { return c.name == name; });
    const bool dxlImport = name == u"import-dxl"_s;
    const QString prefix = dxlImport ? u"import-dxl: "_s : u"nlsxbe-admin: "_s;
    try {
        if (command == list.end())
            throw Error(u"未知命令："_s + name + u"（请查看 --help）"_s);
        run(*command, args.mid(1));
        return 0;
    } catch (const UsageError& e) {
        if (!dxlImport) {
            print(stderr, prefix + e.message());
            return 1;
        }
        print(stderr,
              e.missingValue() ? prefix + e.message() : u"用法：import-dxl 文件.xml 数据库.nsf [--title 标题]"_s);
        return 2;
    } catch (const Error& e) {
        print(stderr, prefix + e.message());
        return 1;
    }
}
