#include "app/ToolbarLayout.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace tw {

namespace {

constexpr quint32 kMagic = 0x54575442; // "TWTB"
constexpr quint8 kVersion = 1;
// A window state is a few hundred bytes; anything far larger is not one.
constexpr quint32 kMaxStateBytes = 1 << 16;

} // namespace

QByteArray encodeToolbarLayout(const ToolbarLayout& layout)
{
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << static_cast<quint16>(layout.items.size());
    for (const int id : layout.items)
        out << static_cast<qint32>(id);
    out << static_cast<quint32>(layout.windowState.size());
    out.writeRawData(layout.windowState.constData(), static_cast<int>(layout.windowState.size()));
    return blob;
}

std::optional<ToolbarLayout> decodeToolbarLayout(const QByteArray& blob,
                                                 const std::function<bool(int)>& isCommand)
{
    QDataStream in(blob);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint8 version = 0;
    quint16 count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion || count > kMaxToolbarItems)
        return std::nullopt;
    ToolbarLayout layout;
    for (quint16 k = 0; k < count; ++k) {
        qint32 id = 0;
        in >> id;
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        if (id == kToolbarSeparator) {
            if (!layout.items.empty() && layout.items.back() != kToolbarSeparator)
                layout.items.push_back(id);
        } else if (isCommand(id) && std::find(layout.items.begin(), layout.items.end(), id) == layout.items.end()) {
            layout.items.push_back(id);
        }
    }
    quint32 stateBytes = 0;
    in >> stateBytes;
    if (in.status() != QDataStream::Ok || stateBytes > kMaxStateBytes)
        return std::nullopt;
    layout.windowState.resize(static_cast<qsizetype>(stateBytes));
    if (stateBytes > 0 && in.readRawData(layout.windowState.data(), static_cast<int>(stateBytes)) != static_cast<int>(stateBytes))
        return std::nullopt;
    if (!in.atEnd())
        return std::nullopt;
    while (!layout.items.empty() && layout.items.back() == kToolbarSeparator)
        layout.items.pop_back();
    return layout;
}

} // namespace tw
