#pragma once

#include "workspace/workspace.h"

namespace quill::testing {

// A page read without a progress window.
struct QuietPageProgress : workspace::PageProgress
{
    void begin() override {}
    void step(int, int) override {}
    void end() override {}
};

// What a click on a view leaves behind: the view listed and its first page read.
inline void listAndLoad(workspace::Workspace& workspace, std::shared_ptr<domino::NotesDatabase> database,
                        const QString& viewName, const workspace::DatabaseLocation& location)
{
    QuietPageProgress progress;
    workspace.listView(std::move(database), viewName, location);
    workspace.loadPage(progress);
}

} // namespace quill::testing
