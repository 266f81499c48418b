#include "forms/ImageList.h"

#include <QDir>
#include <QPixmap>

TImageList::TImageList(QObject* owner, QSize size, const QString& folder) : QObject(owner), FSize(size)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        // Drawn once at the list's size, so that every button shows exactly the same pixels.
        FImages.emplace_back(QIcon(dir.filePath(name)).pixmap(size));
    }
}

QIcon TImageList::Icon(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return FImages[static_cast<size_t>(index)];
}
