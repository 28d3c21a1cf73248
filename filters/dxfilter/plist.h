// plist.h - property lists as Apple's frameworks write them: the binary form
// (`bplist00`) and the XML form (a `plist` document), read into one table of
// values that readers walk by index.
//
// Both readers are strict: a list that is damaged anywhere they look is
// refused whole, with the reason. The binary reader checks the trailer and
// every entry of the offset table, then visits the objects the top object
// reaches, each once (an object that several containers hold is one value of
// the table, however often it is referred to): every object's bytes lie
// between the header and the offset table, every reference names an object of
// the table, and a container that holds itself, directly or not, refuses the
// list. The XML reader (libxml2, as xml_push.h sets it up) takes the elements
// of the plist document type only.
#ifndef GLOTTA_FILTERS_DXFILTER_PLIST_H
#define GLOTTA_FILTERS_DXFILTER_PLIST_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

struct PlistBounds {
    size_t maxObjects = 1u << 20;    // values in the table (and objects a binary list declares)
    size_t maxItems = 4u << 20;      // elements of all containers together
    size_t maxDepth = 64;            // containers inside containers
    int64_t deadlineNs = INT64_MAX;  // DXM_CpuNs time to stop at
};

// The magic of the binary form.
inline constexpr std::string_view kBinaryPlistMagic = "bplist00";

class PropertyList {
  public:
    enum class Kind : uint8_t {
        kNull,
        kBool,
        kInteger,
        kReal,
        kDate,    // real: seconds since 2001-01-01 (binary); text: as written (XML)
        kData,    // bytes
        kString,  // text, UTF-8
        kUid,     // integer (the keyed archiver's references)
        kArray,
        kSet,
        kDict,
    };
    struct Value {
        Kind kind = Kind::kNull;
        bool flag = false;       // kBool
        int64_t integer = 0;     // kInteger, kUid
        double real = 0;         // kReal, kDate
        std::string_view bytes;  // kData; kString (UTF-8); kDate (XML)
        uint32_t first = 0;      // containers: where their elements start in the item list
        uint32_t count = 0;      // elements (a dictionary: its pairs)
    };

    PropertyList() = default;
    PropertyList(const PropertyList &) = delete;
    PropertyList &operator=(const PropertyList &) = delete;

    // Reads a list in the binary form; false, with `error`, when it is
    // refused. The values' bytes may point into `bytes`, which must outlive
    // the list.
    bool ReadBinary(std::string_view bytes, const PlistBounds &bounds, std::string &error);
    // Reads a list in the XML form; false, with `error`, when it is refused
    // (not well formed, another root element, an element or a value of
    // another type, a dictionary whose keys and values do not alternate).
    bool ReadXml(std::string_view bytes, const PlistBounds &bounds, std::string &error);

    // The top value (index 0 of the table once a read succeeded).
    const Value &root() const { return values_.front(); }
    size_t size() const { return values_.size(); }
    const Value &at(uint32_t index) const { return values_[index]; }

    // The value of `key` in the dictionary `dict`; null when `dict` is no
    // dictionary or has no string key of that name.
    const Value *Find(const Value &dict, std::string_view key) const;
    // Element `i` (below `array.count`) of an array or set.
    const Value &Item(const Value &array, uint32_t i) const {
        return values_[items_[array.first + i]];
    }

  private:
    friend class BinaryPlistReader;
    friend class XmlPlistReader;

    std::string_view Keep(std::string text) { return owned_.emplace_back(std::move(text)); }
    void Clear();

    std::vector<Value> values_;
    // Elements of containers, as indices of values_: an array's in order, a
    // dictionary's keys and values alternating.
    std::vector<uint32_t> items_;
    std::deque<std::string> owned_;  // decoded strings and data (their addresses stay)
};

}  // namespace dxf

#endif
