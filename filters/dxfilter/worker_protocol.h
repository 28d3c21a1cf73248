// worker_protocol.h - the messages between dxfilter.so and its extraction
// worker, dxfilter_worker, over one stream socket.
//
// Every request is a Request record, followed by `inlineBytes` bytes of the
// document when the document travels inline; a larger document travels as a
// descriptor (SCM_RIGHTS) attached to the record's first byte. Extract and
// Next are answered by a Reply record followed by `units` UTF-16 units;
// Probe by a Reply whose `format` holds the answer; Close is not answered.
// Both ends are built together, so records go in host order and layout.
#ifndef GLOTTA_FILTERS_DXFILTER_WORKER_PROTOCOL_H
#define GLOTTA_FILTERS_DXFILTER_WORKER_PROTOCOL_H

#include <cstdint>

namespace dxf::wire {

inline constexpr char kWorkerName[] = "dxfilter_worker";
// The socket is this descriptor in the worker.
inline constexpr int kWorkerSocketFd = 3;

enum Op : uint32_t {
    kExtract = 1,  // open the document and answer its first chunk
    kNext = 2,     // answer the next chunk of the open document
    kClose = 3,    // drop the open document
    kProbe = 4,    // answer the format of a zip container
};

enum RequestFlags : uint32_t {
    kHasDescriptor = 1,  // the document is the attached descriptor, `size` bytes from offset 0
};

struct Request {
    uint32_t op;
    uint32_t flags;
    int32_t format;  // kExtract: the format to extract
    int32_t reserved;
    int64_t size;         // document bytes
    int64_t cpuBudgetNs;  // kExtract: CPU time the worker may spend on the document
    uint64_t inlineBytes;
};

enum ReplyFlags : uint32_t {
    kEnd = 1,     // no text follows this chunk; the document is closed in the worker
    kFailed = 2,  // extraction ended on an error
};

struct Reply {
    int32_t status;  // 0, or -1 when the document could not be opened
    int32_t format;  // kProbe: the format found
    uint32_t flags;
    uint32_t units;  // UTF-16 units that follow
};

}  // namespace dxf::wire

#endif
