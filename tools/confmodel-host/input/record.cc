#include "input/record.h"

#include <algorithm>
#include <new>

TextArena::~TextArena() {
    for (auto [block, size] : blocks_)
        release_large(block, size);
}

TextArena::TextArena(TextArena &&other) noexcept
    : blocks_(std::move(other.blocks_)), next_(other.next_), left_(other.left_) {
    other.blocks_.clear();
    other.left_ = 0;
}

TextArena &TextArena::operator=(TextArena &&other) noexcept {
    std::swap(blocks_, other.blocks_);
    std::swap(next_, other.next_);
    std::swap(left_, other.left_);
    return *this;
}

char *TextArena::allocate(size_t size) {
    if (size > left_) {
        // Blocks double from small ones up to a huge page: a dump's texts
        // fill huge pages all the same, and the few records of one commit
        // that a running host keeps hold no 2 MiB each.
        const size_t last = blocks_.empty() ? 0 : blocks_.back().second;
        const size_t block = std::max(size, std::min(size_t(2) << 20, std::max(size_t(256), last * 2)));
        blocks_.reserve(blocks_.size() + 1);
        char *memory = static_cast<char *>(allocate_large(block));
        if (memory == nullptr) throw std::bad_alloc();
        blocks_.emplace_back(memory, block);
        next_ = memory;
        left_ = block;
    }
    char *at = next_;
    next_ += size;
    left_ -= size;
    return at;
}

namespace {

// Each text of a record stands after its length, so that passing over it
// reads no byte of it: one byte below 255, else 255 and four bytes.
constexpr size_t long_text = 255;

size_t header_size(size_t length) {
    return length < long_text ? 1 : 5;
}

// The text at p (after its length), and where the next length stands.
const char *text_at(const char *p, const char **next) {
    size_t length = static_cast<unsigned char>(*p);
    if (length < long_text) {
        *next = p + 1 + length + 1;
        return p + 1;
    }
    uint32_t wide;
    memcpy(&wide, p + 1, sizeof wide);
    *next = p + 5 + wide + 1;
    return p + 5;
}

} // namespace

const char *Record::column(size_t n) const {
    return has(n) ? column_text(n).data() : nullptr;
}

std::string_view Record::column_text(size_t n) const {
    if (!has(n)) return {};
    const char *p = texts_, *text = nullptr;
    for (uint32_t upto = present_ & ((2u << n) - 1); upto != 0; upto &= upto - 1)
        text = text_at(p, &p);
    return {text, static_cast<size_t>(p - text - 1)};
}

std::string_view Record::xnet() const {
    if (!is_xnetgroup(table)) return {};
    const char *p = texts_;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        text_at(p, &p);
    const char *text = text_at(p, &p);
    return {text, static_cast<size_t>(p - text - 1)};
}

std::array<char *, MAX_COLUMNS> Record::columns() const {
    std::array<char *, MAX_COLUMNS> out{};
    const char *p = texts_;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        out[__builtin_ctz(left)] = const_cast<char *>(text_at(p, &p));
    return out;
}

Record Record::Builder::build(TextArena &arena, std::string_view xnet,
                              std::optional<int32_t> parent_port) const {
    Record record;
    record.table = table_;
    record.source = source_;
    record.line = line_;
    record.parent_port = parent_port;
    record.present_ = present_;
    auto space = [](size_t length) { return header_size(length) + length + 1; };
    size_t size = is_xnetgroup(table_) ? space(xnet.size()) : 0;
    for (uint32_t left = present_; left != 0; left &= left - 1)
        size += space(texts_[__builtin_ctz(left)].size);
    char *texts = arena.allocate(std::max<size_t>(size, 1)); // a place even for no text
    record.texts_ = texts;
    record.size_ = static_cast<uint32_t>(size);
    auto append = [&](std::string_view text) {
        if (text.size() < long_text) {
            *texts++ = static_cast<char>(text.size());
        } else {
            *texts++ = static_cast<char>(long_text);
            uint32_t wide = static_cast<uint32_t>(text.size());
            memcpy(texts, &wide, sizeof wide);
            texts += sizeof wide;
        }
        if (!text.empty()) memcpy(texts, text.data(), text.size());
        texts[text.size()] = '\0';
        texts += text.size() + 1;
    };
    for (uint32_t left = present_; left != 0; left &= left - 1)
        append({texts_[__builtin_ctz(left)].data, texts_[__builtin_ctz(left)].size});
    if (is_xnetgroup(table_)) append(xnet);
    return record;
}

