#pragma once

#include <QString>

namespace quill::component::testing {

// A sample Domino installation for tests (link quill_component_testsupport; the compile definitions
// QUILL_COMPONENT_PATH and QUILL_ADMIN_TOOL_PATH name the built libnlsxbe.so and nlsxbe-admin).
//
// Data directory layout (dataDir):
//   names.nsf                 servers QUILLSERVER and this host's name; users userName and guestName; the group
//                             销售部 holds the group 华东销售, which holds userName
//   crm.nsf                   "客户关系管理": views 全部 (250 documents, sorted by 客户编号 1..250; the first
//                             has attachments 合同.txt and 报价单.csv and a rich-text item 备注 with the
//                             embedded objects 示意图.png, 说明.txt, 明细.csv; the second has readers and
//                             authors items), 按城市, 所有文档 (251: also a document without items), 空视图 (0);
//                             the Readers items of the second to fourth name userName, the role [Admin] (which
//                             the access list gives 销售部) and 销售部: on the server guestName sees 247
//   业务/合同管理.nsf          "合同管理": views 合同列表 (4,500, sorted by 合同编号), 按金额
//   业务/归档/2025归档.nsf     "2025年归档": view 归档文档 (100; every tenth document has one attachment); the
//                             正文 of the first keeps its rich text as DXL (heading, lists, a table, a picture,
//                             a link and a link to the second, a rule, a section); the second is a mail kept as
//                             MIME (HTML with a picture by cid:, the attachment 会议议程.txt; From and To items)
//   业务/无视图.nsf            no views
//   空文件夹/                  an empty folder
//   .hidden/secret.nsf        a database in a hidden folder
//   限制/机密.nsf              access list: -Default- no access, userName manager (guestName is refused)
struct SampleInstallation
{
    QString dataDir;      // absolute, no trailing "/"
    QString dominoPath;   // the registered Domino program folder (the library's folder)
    QString libraryPath;  // the registered libnlsxbe.so
    QString registryPath; // the registry file written (platform::registryFilePath())
    QString serverName;
    QString userName;
    QString password;
    QString guestName;
    QString guestPassword;
};

// How a test program uses the sample.
enum class SampleUse
{
    Shared,     // reads it only: the one sample of the test run, made once by its sample_installation test
    PrivateCopy // writes into the data directory: a copy of its own in dir/data
};

// Writes the registry (platform::registryFilePath(), so QStandardPaths::setTestModeEnabled(true) must be on)
// with "\Software\Lotus\Domino" Path and DataPath and the session class registration, and returns the sample
// to use. Without a sample made for the test run (the program run on its own), one is made in dir/data, which
// takes about a second. dir must exist, e.g. a QTemporaryDir. Throws platform::Error on failure.
// It first points HOME at dir/home, so that every test-mode standard path of this process (the registry, the
// log folder, ...) is private to the test and not shared with tests running in parallel: call it before taking
// any such path.
SampleInstallation makeSampleInstallation(const QString& dir, SampleUse use = SampleUse::Shared);

// The same registration for a data directory of the test's own; returns the registry file written.
QString registerComponent(const QString& dir, const QString& dataDir);

QString componentLibraryPath();
QString adminToolPath();

} // namespace quill::component::testing
