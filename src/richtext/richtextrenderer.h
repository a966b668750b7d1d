#pragma once

#include "richtext/pageresources.h"

#include <QByteArray>
#include <QString>

namespace quill::richtext {

// A DXL <richtext> element (in the DXL namespace or in none) as an HTML5 fragment, one <div class="rt">:
//   <par>                    <div class="rt-p">, aligned and indented as its <pardef> says; paragraphs of a
//                            list definition are <li> of one <ul> or <ol> while they follow each other
//   <run><font>              <b>, <i>, <u>, <s>, <sup>, <sub>; colour, size and font name as a <span> style
//   <table>                  <table class="rt-table"> with its column widths, rows, cells and spans
//   <horizrule/>             <hr class="rt-hr">
//   <section>                <details class="rt-section" open>, its title the <summary>
//   <urllink>                a link when the address is http, https or mailto, else its text alone
//   <doclink>                a link to the target's page when the export has it, else its UNID as text
//   <picture>                <img> of the file saved through the resources (Notes bitmaps as PNG), else a
//                            marked placeholder
//   <attachmentref>          a link to the saved attachment, its icon and name
//   <computedtext>, other    their text
//   <break/>, tab            <br>, a tab
// Words the renderer adds (names, placeholders, UNIDs) are in elements of class "rt-added", so that the
// rest holds the words of the plain text and nothing else. Every text and attribute is escaped, links and
// pictures point only where the rules of htmltext.h allow, and every style is made of checked values.
// What was read before an error is kept, and the error is given.
RenderedHtml renderRichText(const QByteArray& dxl, const PageResources& resources);
RenderedHtml renderRichText(const QString& dxl, const PageResources& resources);

} // namespace quill::richtext
