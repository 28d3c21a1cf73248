// iwa.h - the objects of Apple iWork 2013-and-later documents (`.iwa` parts)
// and the text they hold.
//
// An `.iwa` part is a run of chunks: a type byte (0: a raw Snappy block, see
// snappy.h) and a 24-bit little-endian length, then the block. The blocks
// decode to one stream of archive objects: a varint length, an archive
// header (a protocol buffer message: field 1 the object's identifier, field
// 2 for each of the object's messages a record whose field 1 is the message
// type and field 3 its length), then the messages in that order.
//
// The reading is by field number alone: no schema, no generated code. Every
// length is checked against what is left; groups (wire types 3 and 4) and
// wire types that do not exist fail the message.
#ifndef GLOTTA_FILTERS_DXFILTER_IWA_H
#define GLOTTA_FILTERS_DXFILTER_IWA_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dxf::iwa {

enum WireType : unsigned { kVarint = 0, kFixed64 = 1, kBytes = 2, kFixed32 = 5 };

// One field of a message: `value` for varints and fixed numbers, `bytes` for
// length-delimited fields.
struct Field {
    uint32_t number = 0;
    WireType wire = kVarint;
    uint64_t value = 0;
    std::string_view bytes;
};

// Reads a varint of at most ten bytes at `at`, which ends past it.
bool ReadVarint(std::string_view in, size_t &at, uint64_t &value);

// The fields of one message, in order.
class ProtoReader {
  public:
    explicit ProtoReader(std::string_view message) : in_(message) {}
    // The next field; false at the message's end or at damage (damaged()).
    bool Next(Field &field);
    bool damaged() const { return damaged_; }

  private:
    std::string_view in_;
    size_t at_ = 0;
    bool damaged_ = false;
};

// Appends the decoded chunks of the part `part` to `out`, at most `maxBytes`
// in all; `goOn` is asked before each chunk (false: stop, as damaged). False
// when a chunk is cut, damaged, of another type or over the bound: `out`
// then keeps the chunks before it.
bool UnpackPart(std::string_view part, size_t maxBytes, std::string &out,
                const std::function<bool()> &goOn);

// One message of an archive object.
struct Message {
    uint64_t object = 0;
    uint32_t type = 0;
    std::string_view payload;
};

// Hands each message of the objects of `stream` to `visit` (false: stop).
// False when the stream is damaged (a header that is not a message, a
// length past the stream's end) or `visit` stopped; the messages before the
// damage have been handed over.
bool ForEachMessage(std::string_view stream, const std::function<bool(const Message &)> &visit);

// The text of a document's parts, gathered part by part and handed out in
// reading order:
//  - text storages (type 2001; field 1 the kind, field 3 the text): a
//    document's body first, then headers and footers, footnotes, text boxes
//    and shapes, table cells, notes; a table of contents, which repeats the
//    headings, is left out;
//  - a table's string list (type 6005, list type 1; field 3 the entries,
//    each with its string in field 3), as table cells;
//  - in a Keynote presentation (`isPresentation`), the parts of its slides
//    in the show's order (the show, type 2: field 3 the slide tree, whose
//    field 2 lists the top slide nodes and field 1 the old root node; a slide
//    node, type 4: field 1 its children, field 2 its slide, type 5 or 6),
//    each slide's text before its notes, the other parts after them.
class Text {
  public:
    struct Piece {
        std::string text;
        bool cell = false;  // one string of a table: a cell of its own
    };

    Text(bool isPresentation, size_t maxBytes) : presentation_(isPresentation), max_(maxBytes) {}

    // Takes the text of part number `part` from its decoded objects.
    void AddPart(size_t part, std::string_view stream, const std::function<bool()> &goOn);
    // False once the text held reaches its bound: later parts add nothing.
    bool room() const { return held_ < max_; }
    // Whether some part was damaged (read up to the damage).
    bool damaged() const { return damaged_; }
    // The messages read from all parts.
    size_t messages() const { return messages_; }
    // The pieces in reading order.
    std::vector<const Piece *> Ordered() const;

  private:
    struct Held {
        size_t part, order;
        int rank;
        Piece piece;
    };
    void Add(size_t part, int rank, std::string_view text, bool cell);
    void AddMessage(size_t part, const Message &message);

    bool presentation_;
    size_t max_, held_ = 0, messages_ = 0;
    bool damaged_ = false;
    std::vector<Held> held_pieces_;
    // Keynote's structure: the slide nodes' children and slides, the top
    // nodes, and the part each slide is in.
    struct Node {
        std::vector<uint64_t> children;
        uint64_t slide = 0;
    };
    std::map<uint64_t, Node> nodes_;
    std::vector<uint64_t> top_;
    std::map<uint64_t, size_t> slide_parts_;
};

}  // namespace dxf::iwa

#endif
