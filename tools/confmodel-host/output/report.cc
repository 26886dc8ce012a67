#include "output/report.h"

#include "confmodel_lists.h"
#include "output/entry_fields.h"
#include "output/json.h"
#include "output/report_dot.h"
#include "output/report_json.h"
#include "output/report_text.h"
#include "output/vocabulary.h"

namespace {

// Writes one section of the model in a view: every description the source
// yields, with the section's framing.
class ModelWriter {
  public:
    ModelWriter(std::ostream &out, View view) : out_(out), view_(view) {}

    // A section of list entries: each entry `each` yields, printed as text,
    // described as JSON, or drawn.
    template <typename Each, typename PrintText, typename Describe, typename Draw>
    void section(const char *title, const char *key, size_t count, Each each, PrintText print_text,
                 Describe describe, Draw draw) {
        size_t index = 0;
        switch (view_) {
        case View::text:
            out_ << title << " (" << count << ")\n";
            each([&](const auto &entry) { print_text(out_, entry); });
            out_ << "\n";
            break;
        case View::json:
        case View::json_line:
            open_section(key);
            each([&](const auto &entry) {
                out_ << (index++ == 0 ? nl() : "," + nl())
                     << (compact() ? json_text(describe(entry), -1) : indented(json_text(describe(entry)), "    "));
            });
            out_ << (index == 0 ? "]" : nl() + "  ]");
            break;
        case View::dot:
            each([&](const auto &entry) { draw(out_, entry, index++); });
            break;
        }
    }

    // A section of port records, written into a buffer as they come: each
    // item appended to it as text by print_text, as a JSON object by
    // write_json.
    template <typename Each, typename PrintText, typename WriteJson>
    void records(const char *title, const char *key, size_t count, Each each, PrintText print_text,
                 WriteJson write_json) {
        BlockWriter buffer(out_);
        std::string &text = buffer.text();
        size_t index = 0;
        if (view_ == View::text) {
            out_ << title << " (" << count << ")\n";
            each([&](const auto &item) {
                print_text(text, item);
                buffer.appended();
            });
            text += '\n';
        } else if (view_ != View::dot) {
            open_section(key);
            each([&](const auto &item) {
                text += index++ == 0 ? nl() : "," + nl();
                JsonObjectWriter object(text, compact() ? JsonObjectWriter::compact : 4);
                write_json(object, item);
                object.finish();
                buffer.appended();
            });
            text += index == 0 ? "]" : nl() + "  ]";
        }
        buffer.flush();
    }

    void begin() {
        if (view_ == View::json || view_ == View::json_line) {
            out_ << "{" << nl() << (compact() ? "\"format\":" : "  \"format\": ") << json_format;
            sections_++;
        }
        if (view_ == View::dot)
            out_ << "digraph confmodel {\n  rankdir=LR;\n  node [fontname=\"Helvetica\"];\n";
    }

    void end() {
        if (view_ == View::json) out_ << "\n}\n";
        if (view_ == View::json_line) out_ << "}";
        if (view_ == View::dot) out_ << "}\n";
    }

  private:
    bool compact() const { return view_ == View::json_line; }
    std::string nl() const { return compact() ? "" : "\n"; }
    void open_section(const char *key) {
        out_ << (sections_++ == 0 ? "{" : ",") << nl() << (compact() ? "\"" : "  \"") << key
             << (compact() ? "\":[" : "\": [");
    }

    static std::string indented(const std::string &text, const std::string &by) {
        std::string out = by;
        for (char c : text) {
            out += c;
            if (c == '\n') out += by;
        }
        return out;
    }

    std::ostream &out_;
    View view_;
    int sections_ = 0;
};

template <typename Entry> size_t length(const list_head *head) {
    size_t n = 0;
    CONFMODEL_LIST_FOREACH(const Entry, e, head)
    n++;
    return n;
}
} // namespace

void write_model(std::ostream &out, View view, const HostModel &model, const RecordList &records) {
    const Module &m = model.module();
    ModelWriter writer(out, view);
    writer.begin();
    writer.section(
        "Port groups", "portgroups", length<portgroup_entry>(m.portgroups),
        [&](auto emit) {
            CONFMODEL_LIST_FOREACH(const portgroup_entry, group, m.portgroups)
            emit(*group);
        },
        print_portgroup, describe_portgroup,
        [](std::ostream &o, const portgroup_entry &g, size_t) { dot_portgroup(o, g); });
    writer.section(
        "Xnets", "xnets", length<xnet_entry>(m.xnets),
        [&](auto emit) {
            CONFMODEL_LIST_FOREACH(const xnet_entry, xnet, m.xnets)
            emit(*xnet);
        },
        print_xnet, describe_xnet, dot_xnet);
    if (view == View::dot) {
        dot_unlisted(out, model, records);
        dot_legend(out);
        return writer.end();
    }

    writer.records(
        "Subports", "subports", model.subports().size(),
        [&](auto emit) {
            for (const Subport &s : model.subports())
                emit(s.data);
        },
        print_subport, [](JsonObjectWriter &o, const subport_data &s) { subport_fields(s, o); });
    writer.records(
        "Port protection", "port_protects", model.port_protects().size(),
        [&](auto emit) {
            for (const PortProtect &p : model.port_protects())
                emit(p);
        },
        [&](std::string &o, const PortProtect &p) { print_port_protect(o, p.record->column_text(0), p.data); },
        [&](JsonObjectWriter &o, const PortProtect &p) {
            port_protect_fields(p.record->column_text(0), p.data, o);
        });
    writer.records(
        "Subport protection", "subport_protects", model.subport_protects().size(),
        [&](auto emit) {
            for (const SubportProtect &p : model.subport_protects())
                emit(p);
        },
        [&](std::string &o, const SubportProtect &p) {
            print_subport_protect(o, p.record->column_text(0), p.data);
        },
        [&](JsonObjectWriter &o, const SubportProtect &p) {
            subport_protect_fields(p.record->column_text(0), p.data, o);
        });
    size_t devices = 0;
    for (const Record *record : records)
        devices += record->table == Table::remote_device;
    writer.records(
        "Remote devices", "remote_devices", devices,
        [&](auto emit) {
            for (const Record *record : records)
                if (record->table == Table::remote_device) emit(*record);
        },
        print_remote_device,
        [](JsonObjectWriter &o, const Record &device) { remote_device_fields(device, o); });
    writer.end();
}
