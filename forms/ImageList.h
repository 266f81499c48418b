#pragma once

#include "framework/Component.h"

#include <QIcon>
#include <QObject>
#include <QSize>
#include <QString>
#include <vector>

// A row of equally sized images that buttons and actions show by index. The images come
// from one resource folder, in the order of their file names.
class TImageList : public QObject, public TComponent {
    Q_OBJECT
public:
    TImageList(QObject* owner, QSize size, const QString& folder);

    int Count() const { return static_cast<int>(FImages.size()); }
    QSize Size() const { return FSize; }
    // The image at index, drawn at the list's size; an empty icon for an index outside the list.
    QIcon Icon(int index) const;

private:
    QSize FSize;
    std::vector<QIcon> FImages;
};
