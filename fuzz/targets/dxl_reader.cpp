// The DXL reader over arbitrary bytes: it must end in a platform::Error or a clean read, whatever the
// file holds.
#include "dxlreader.h"
#include "platform/error.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace quill::component::dxl;

namespace {

// Touches what it is given, so that whatever the reader hands over is read once.
class CountingSink : public Sink
{
public:
    void database(const DatabaseInfo& info) override { m_size += info.title.size() + info.replicaId.size(); }
    void aclEntry(const AclEntry& entry) override { m_size += entry.name.size() + entry.level.size(); }
    void view(const View& view) override
    {
        for (const ViewColumn& column : view.columns)
            m_size += column.title.size() + column.item.size() + column.formula.size();
    }
    void beginDocument(const NoteInfo& info) override { m_size += info.unid.size() + info.form.size(); }
    void item(const Item& item) override
    {
        m_size += item.name.size() + item.texts.join(QString()).size() + qsizetype(item.numbers.size()) +
                  qsizetype(item.dateTimes.size()) + item.objectNames.size();
    }
    void beginAttachment(const QString& name) override { m_size += name.size(); }
    void attachmentData(const char* data, qsizetype size) override
    {
        if (size > 0)
            m_size += data[0] + data[size - 1];
    }
    void endAttachment() override {}
    void endDocument() override {}
    void notice(qint64, const QString& message) override { m_size += message.size(); }

private:
    qsizetype m_size = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CountingSink sink;
    try {
        Reader(sink).read(buffer, u"fuzz.xml"_s);
    } catch (const quill::platform::Error&) {
    }
    return 0;
}
