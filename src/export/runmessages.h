#pragma once

#include "export/exportrun.h"

#include <QString>

namespace quill::exporting {

// What a run did, in the words the window shows and quillmere-export prints. The run tells its result in
// typed facts; both front ends take their texts from here, so that the batch's lines stay the window's.

inline constexpr char16_t kExcelMissing[] = u"请确认您电脑上是否安装了EXCEL！";
inline constexpr char16_t kFinished[] = u"您好，数据导出完成，导出的附件文档存放在Excel文件的同一目录下，文件夹名为：";
// A run that could not save every file or read every value says how many, instead of kFinished.
inline constexpr char16_t kFinishedWithLosses[] = u"数据导出完成，但是";

// The window's message at the end of a run: the finished line and its notes, the failure, or the missing
// writer; empty for a cancelled run.
QString runMessage(const RunResult& result);

// The first line of a finished run's message: where the attachments are, and what was lost when something was.
QString finishedLine(const RunResult& result);
// Files and log lines lost and values unread, in one sentence each; empty when none were.
QString lossesNote(const RunResult& result);
// The start document had more items than the sheet has columns; empty when it had not.
QString columnsNote(const RunResult& result);
// Items of later documents that the start document lacks, left out of the .xls; empty when none were.
QString itemsLeftOutNote(const RunResult& result);
// Texts too long for their cells, saved whole as text files; empty when none were.
QString wholeTextNote(const RunResult& result);
// The HTML pages written and where their index is; empty when none were.
QString pagesNote(const RunResult& result);
// Bodies that could be read only in part, shown so in their pages; empty when none were.
QString bodiesNote(const RunResult& result);
// Why a finished run stopped before the view's end: the sheet was full, or the view ended early; empty otherwise.
QString endingNote(const RunResult& result);
// What a failed run could not do, with the reason.
QString failureText(const RunResult& result);

} // namespace quill::exporting
