// The port decoders, one record at a time, and the port number of a
// subport's pathname.
#include "bench.h"
#include "floor.h"
#include "record.h"

namespace bench {

namespace {

Record subport_record() {
    return Record(18, {{0, "/ports/port12/subports/3"},
                       {5, "3"},
                       {7, "FCoE"},
                       {9, "enabled"},
                       {10, "10000"},
                       {11, "2"},
                       {16, "true"},
                       {17, "0x00ff00ff"}});
}

// Every keyword column holds the last keyword of its list, so each keyword is
// compared with every alternative.
Record port_protect_record() {
    return Record(9, {{0, "/ports/port12/protect"},
                      {4, "enabled"},
                      {5, "loop_detected"},
                      {6, "detection_only"},
                      {7, "in_pause_condition"},
                      {8, "0x10"}});
}

Record subport_protect_record() {
    return Record(7,
                  {{0, "/ports/port12/subports/3/protect"}, {5, "enabled"}, {6, "loop_detected"}});
}

// The parse is counted; releasing the pathname again is the host's.
template <typename Parse> void subport(benchmark::State &state, Parse parse) {
    Record record = subport_record();
    config_record columns = record;
    subport_data data = {};
    for (auto _ : state) {
        if (measured([&] { return parse(11, columns, &data); }) != 0 ||
            data.col17_hex != 0xff00ffu) {
            fail(state, "the subport was not decoded");
            break;
        }
        free_subport_data(&data);
    }
}

template <typename Data, typename Parse>
void protect(benchmark::State &state, Record record, Parse parse) {
    config_record columns = record;
    Data data = {};
    for (auto _ : state) {
        if (measured([&] { return parse(columns, &data); }) != 0 ||
            data.loop_protect != PROTECT_ENABLED) {
            fail(state, "the record was not decoded");
            break;
        }
    }
}

template <typename Number> void port_number(benchmark::State &state, Number number) {
    const char *pathname = "/ports/port12/subports/3";
    for (auto _ : state) {
        if (measured([&] { return number(pathname); }) != 11) {
            fail(state, "wrong port number");
            break;
        }
    }
}

} // namespace

void add_ports_benchmarks() {
    add("parse_subport_data", [](benchmark::State &state) { subport(state, parse_subport_data); });
    add("floor/parse_subport_data",
        [](benchmark::State &state) { subport(state, by_hand::parse_subport_data); });
    add("parse_port_protect_data", [](benchmark::State &state) {
        protect<port_protect_data>(state, port_protect_record(), parse_port_protect_data);
    });
    add("floor/parse_port_protect_data", [](benchmark::State &state) {
        protect<port_protect_data>(state, port_protect_record(), by_hand::parse_port_protect_data);
    });
    add("parse_subport_protect_data", [](benchmark::State &state) {
        protect<subport_protect_data>(state, subport_protect_record(), parse_subport_protect_data);
    });
    add("floor/parse_subport_protect_data", [](benchmark::State &state) {
        protect<subport_protect_data>(state, subport_protect_record(),
                                      by_hand::parse_subport_protect_data);
    });
    add("get_parent_port_number",
        [](benchmark::State &state) { port_number(state, get_parent_port_number); });
    add("floor/get_parent_port_number",
        [](benchmark::State &state) { port_number(state, by_hand::get_parent_port_number); });
}

} // namespace bench
