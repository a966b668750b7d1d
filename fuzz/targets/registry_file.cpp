// The registry file: after a write, the value reads back, every other value reads as before, and no
// key or value appears but the one written. A refused write leaves the file as it was.
//
// Input: key, value name and value, each ended by a NUL byte, then the file's bytes.
#include "fuzzinput.h"
#include "platform/error.h"
#include "platform/registry.h"

#include <QDir>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

using Values = std::map<std::pair<QString, QString>, std::optional<QString>>; // (key, name) case-folded

Values values(const platform::Registry& registry)
{
    Values out;
    for (const QString& key : registry.keys()) {
        for (const QString& name : registry.valueNames(key))
            out[{key.toCaseFolded(), name.toCaseFolded()}] = registry.readString(key, name);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList fields;
    QByteArray content;
    if (!fuzz::splitFields(data, size, 3, &fields, &content))
        return 0;
    const QString &key = fields[0], &name = fields[1], &value = fields[2];
    const QString path = QDir(fuzz::scratchFolder()).filePath(u"registry.reg"_s);
    fuzz::writeWholeFile(path, content);
    platform::Registry registry(path);
    Values expected = values(registry);
    try {
        registry.writeString(key, name, value);
    } catch (const platform::Error&) {
        if (fuzz::readWholeFile(path) != content)
            fuzz::propertyFailed("a refused write changed the file", path);
        return 0;
    }
    if (registry.readString(key, name) != value)
        fuzz::propertyFailed("the written value does not read back",
                             registry.readString(key, name).value_or(u"<none>"_s));
    expected[{platform::Registry::normalKey(key).toCaseFolded(), name.toCaseFolded()}] = value;
    const Values after = values(registry);
    if (after != expected) {
        QString detail;
        for (const auto& [at, v] : after) {
            const auto was = expected.find(at);
            if (was == expected.end() || was->second != v)
                detail += at.first + u'|' + at.second + u'=' + v.value_or(u"<none>"_s) + u'\n';
        }
        fuzz::propertyFailed("another entry appeared or changed", detail);
    }
    return 0;
}
