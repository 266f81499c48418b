#pragma once

#include "framework/Exception.h"
#include "framework/Streams.h"

#include <QByteArray>
#include <QString>

JEERBOX_DECLARE_EXCEPTION(EResNotFound, Exception)

// One of the program's own resources, found by its name and its type name, as a read-only
// stream over its bytes. The resources are embedded with Qt's resource system, each type a
// folder of its own: the resource "piano" of type "RT_RCDATA" is ":/RT_RCDATA/piano".
class TResourceStream : public TStream {
public:
    // Raises EResNotFound ("Resource <name> not found") when the program has no such resource.
    TResourceStream(const QString& name, const QString& type);

    int64_t Read(void* buffer, int64_t count) override;
    // A resource cannot be changed: both raise EStreamError.
    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t newSize) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return FData.size(); }

    const uint8_t* Memory() const { return reinterpret_cast<const uint8_t*>(FData.constData()); }

private:
    QByteArray FData;
    int64_t FPosition = 0;
};
