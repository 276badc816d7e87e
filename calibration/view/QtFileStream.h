#pragma once

#include "core/Object.h"
#include "core/io/Stream.h"

#include <QFile>
#include <QString>

// An engine stream over one file of the toolkit, opened read-only: a file on disk, or one of the
// program's compiled-in resources (":tmsh/crank.tmsh"). QtArchive hands these out; each belongs to
// its caller and closes its file when its last reference goes.
class QtFileStream : public rezezaz::core::Object, public rezezaz::core::io::Stream
{
public:
    // A file that can't be opened leaves the stream closed().
    explicit QtFileStream(const QString& name);
    ~QtFileStream() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    void close() override;
    bool closed() override;
    bool readable() override;
    // The count read, or -1 on error.
    int read(unsigned char* buffer, int length) override;
    // False: the file is opened read-only.
    bool writeable() override;
    // -1: the file is opened read-only.
    int write(const unsigned char* buffer, int length) override;
    bool reset() override;
    int length() override;
    int position() override;
    bool seek(int offset) override;
    bool flush() override;

private:
    QFile file;
};
