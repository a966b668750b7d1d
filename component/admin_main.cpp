// nlsxbe-admin: writes the stand-in component's databases, users and registry entries.

#include "admin.h"
#include "domino/loader.h"
#include "dxlimport.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/version.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace quill::component;

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
  add-view 文件.nsf --name 视图名 --column 标题=域名|标题=@公式 [--column ...]
          [--sort 列号(从1起)|created] [--descending] [--form 表单名] [--alias 别名 ...]
      公式：@Created、@Modified、@DocumentUniqueID。不给 --form 时视图选择全部文档。
  add-docs 文件.nsf 文档.json         按下面的JSON格式添加文档
  import-dxl 文件.xml 文件.nsf [--title 标题]  导入DXL导出的数据库或文档（数据库不存在时新建）
  add-user names.nsf --name 用户名 --password 密码
  set-acl 文件.nsf --name 名称|-Default- --level 0|2|3|6  (0 不能存取，2 读者，3 作者，6 管理者)
  add-server-name names.nsf 服务器名
  sample 数据目录                      生成示例数据目录（并打印登录用户与密码）
  generate 文件.nsf --count 文档数 [--items 每文档域数] [--richtext] [--attachments-every N]
      生成一个大数据库（视图“全部”），用于性能测试。缺省每个文档5个域；--items 补足到给定域数
      （文本与数字交替），--richtext 使最后一个域为RichText，--attachments-every 每N个文档带两个附件。
  --help                               显示本帮助
  --version                            显示版本

)"_s + admin::jsonSchemaHelp() +
           u"\n"_s;
}

class Args
{
public:
    explicit Args(QStringList args) : m_args(std::move(args)) {}

    QString take(const QString& option)
    {
        const QStringList all = takeAll(option);
        return all.isEmpty() ? QString() : all.last();
    }

    QStringList takeAll(const QString& option)
    {
        QStringList values;
        for (qsizetype i = 0; i < m_args.size();) {
            if (m_args[i] == option) {
                if (i + 1 >= m_args.size())
                    throw quill::platform::Error(option + u" 缺少参数值"_s);
                values << m_args[i + 1];
                m_args.remove(i, 2);
            } else {
                ++i;
            }
        }
        return values;
    }

    bool flag(const QString& option) { return m_args.removeAll(option) > 0; }

    QString positional()
    {
        for (qsizetype i = 0; i < m_args.size(); ++i) {
            if (!m_args[i].startsWith(u"--"_s))
                return m_args.takeAt(i);
        }
        throw quill::platform::Error(u"缺少参数，请查看 --help"_s);
    }

    void finish() const
    {
        if (!m_args.isEmpty())
            throw quill::platform::Error(u"无法识别的参数："_s + m_args.join(u' '));
    }

private:
    QStringList m_args;
};

QString require(const QString& value, const QString& option)
{
    if (value.isEmpty())
        throw quill::platform::Error(u"缺少 "_s + option);
    return value;
}

void print(const QString& text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int run(const QString& command, Args& args)
{
    if (command == u"install"_s) {
        admin::InstallOptions options;
        options.dominoPath = args.take(u"--domino"_s);
        options.notesPath = args.take(u"--notes"_s);
        options.dataPath = args.take(u"--data"_s);
        options.registryFile = args.take(u"--registry"_s);
        QString library = args.take(u"--library"_s);
        const bool noRegister = args.flag(u"--no-register"_s);
        args.finish();
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
        if (!noRegister) {
            if (library.isEmpty()) {
                const QString folder = options.dominoPath.isEmpty() ? options.notesPath : options.dominoPath;
                const QString candidate = QDir(folder).filePath(QString::fromUtf16(quill::domino::kComponentFileName));
                library =
                    QFileInfo::exists(candidate)
                        ? candidate
                        : QDir(ownComponentFolder).filePath(QString::fromUtf16(quill::domino::kComponentFileName));
            }
            options.libraryPath = library;
        }
        admin::install(options);
        print(u"已写入注册表："_s + options.registryFile);
        if (!options.libraryPath.isEmpty())
            print(u"已注册组件库："_s + options.libraryPath);
        return 0;
    }
    if (command == u"create-db"_s) {
        const QString path = args.positional();
        const QString title = args.take(u"--title"_s);
        args.finish();
        admin::createDatabase(path, title);
        return 0;
    }
    if (command == u"add-view"_s) {
        const QString path = args.positional();
        admin::ViewSpec view;
        view.name = require(args.take(u"--name"_s), u"--name"_s);
        for (const QString& column : args.takeAll(u"--column"_s))
            view.columns.push_back(admin::parseColumn(column));
        view.form = args.take(u"--form"_s);
        view.aliases = args.takeAll(u"--alias"_s);
        const QString sort = args.take(u"--sort"_s);
        view.descending = args.flag(u"--descending"_s);
        args.finish();
        if (!sort.isEmpty() && sort != u"created"_s) {
            bool ok = false;
            view.sortColumn = sort.toInt(&ok) - 1;
            if (!ok || view.sortColumn < 0)
                throw quill::platform::Error(u"--sort 应为列号（从1起）或 created：" + sort);
        }
        admin::addView(path, view);
        return 0;
    }
    if (command == u"add-docs"_s) {
        const QString path = args.positional();
        const QString json = args.positional();
        args.finish();
        QFile file(json);
        if (!file.open(QIODevice::ReadOnly))
            throw quill::platform::Error(u"无法读取文件："_s + json + u"（"_s + file.errorString() + u"）"_s);
        const auto docs = admin::parseDocuments(file.readAll(), QFileInfo(json).absolutePath());
        admin::addDocuments(path, docs);
        print(u"已添加"_s + QString::number(docs.size()) + u"个文档"_s);
        return 0;
    }
    if (command == u"add-user"_s) {
        const QString path = args.positional();
        const QString name = require(args.take(u"--name"_s), u"--name"_s);
        const QString password = args.take(u"--password"_s);
        args.finish();
        admin::addUser(path, name, password);
        return 0;
    }
    if (command == u"set-acl"_s) {
        const QString path = args.positional();
        const QString name = require(args.take(u"--name"_s), u"--name"_s);
        bool ok = false;
        const int level = require(args.take(u"--level"_s), u"--level"_s).toInt(&ok);
        args.finish();
        if (!ok)
            throw quill::platform::Error(u"--level 应为0到6的数字"_s);
        admin::setAcl(path, name, level);
        return 0;
    }
    if (command == u"add-server-name"_s) {
        const QString path = args.positional();
        const QString name = args.positional();
        args.finish();
        admin::addServerName(path, name);
        return 0;
    }
    if (command == u"sample"_s) {
        const QString dir = args.positional();
        args.finish();
        const admin::SampleInfo info = admin::makeSample(dir);
        print(u"示例数据目录："_s + info.dataDir);
        print(u"服务器名："_s + info.serverName);
        print(u"登录用户："_s + info.userName + u"  密码："_s + info.password);
        print(u"受限用户："_s + info.guestName + u"  密码："_s + info.guestPassword + u"（无权访问 限制/机密.nsf）"_s);
        return 0;
    }
    if (command == u"generate"_s) {
        const QString path = args.positional();
        bool ok = false;
        const qint64 count = require(args.take(u"--count"_s), u"--count"_s).toLongLong(&ok);
        if (!ok || count < 0)
            throw quill::platform::Error(u"--count 应为文档数"_s);
        admin::GenerateOptions options;
        const QString items = args.take(u"--items"_s);
        if (!items.isEmpty()) {
            options.items = items.toInt(&ok);
            if (!ok || options.items < 5)
                throw quill::platform::Error(u"--items 应为不小于5的域数"_s);
        }
        const QString every = args.take(u"--attachments-every"_s);
        if (!every.isEmpty()) {
            options.attachmentsEvery = every.toInt(&ok);
            if (!ok || options.attachmentsEvery < 1)
                throw quill::platform::Error(u"--attachments-every 应为正整数"_s);
        }
        options.richText = args.flag(u"--richtext"_s);
        args.finish();
        QElapsedTimer timer;
        timer.start();
        admin::generate(path, count, options);
        print(u"已生成"_s + QString::number(count) + u"个文档，用时"_s + QString::number(timer.elapsed()) + u"毫秒"_s);
        return 0;
    }
    throw quill::platform::Error(u"未知命令："_s + command + u"（请查看 --help）"_s);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args == QStringList{u"--version"_s}) {
        print(u"nlsxbe-admin "_s + QStringLiteral(QUILL_VERSION));
        return 0;
    }
    if (args.isEmpty() || args.contains(u"--help"_s) || args.contains(u"-h"_s)) {
        print(helpText());
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.takeFirst();
    // DXL import (component/dxl/).
    if (command == u"import-dxl"_s)
        return dxl::runDxlImport(args);
    try {
        Args parsed(args);
        return run(command, parsed);
    } catch (const quill::platform::Error& e) {
        const QByteArray bytes = (u"nlsxbe-admin: "_s + e.message() + u'\n').toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        return 1;
    }
}
