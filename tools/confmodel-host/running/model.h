// The host's side of the model: builds it through the module from the
// records, in the order the module needs, keeps the decoded port records, and
// releases everything the way a host must (the module never removes an entry).
// The running hosts (hosts.h) change it as the records change, through the
// operations below.
#ifndef CONFMODEL_HOST_RUNNING_MODEL_H
#define CONFMODEL_HOST_RUNNING_MODEL_H

#include "input/dump.h"
#include "running/module.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct Subport {
    const Record *record;
    subport_data data;
};

struct PortProtect {
    const Record *record; // column 0 names the port; the module does not read it
    port_protect_data data;
};

struct SubportProtect {
    const Record *record;
    subport_protect_data data;
};

class HostModel {
  public:
    explicit HostModel(const Module &module) : module_(module) {}
    ~HostModel() { release(); }
    HostModel(const HostModel &) = delete;
    HostModel &operator=(const HostModel &) = delete;

    // Port groups, then xnets, then xnetgroups, whatever the order of the
    // records; then the native-VLAN test of every xnet; then the port
    // records, unless only the lists are asked for (the port records'
    // decoding depends on nothing but their own record), or the port records
    // are to be decoded and let go at once (the module sees each, and
    // nothing is kept: a check). Remarks of the host itself (a refused
    // record, a duplicate xnet) go to standard error as notes. The records
    // must outlive the model.
    enum class Parts { everything, lists, decoded_and_released };
    void build(const RecordList &records, Parts parts = Parts::everything);
    void build(const Dump &dump, Parts parts = Parts::everything);

    // Unlinks and frees xnetgroups, then xnets, then port groups, and frees
    // the subports. Also done on destruction.
    void release();

    const Module &module() const { return module_; }
    const LargeVector<Subport> &subports() const { return subports_; }
    const LargeVector<PortProtect> &port_protects() const { return port_protects_; }
    const LargeVector<SubportProtect> &subport_protects() const { return subport_protects_; }
    // The record a listed entry was created from.
    const Record &origin(const void *entry) const { return *origins_.at(entry); }
    // Entries on the lists: port groups, xnets and xnetgroups.
    size_t entries() const { return origins_.size(); }
    bool listed(const void *entry) const { return origins_.count(entry) != 0; }
    // What a port-group, xnet or xnetgroup record came to: the entry it
    // created, the listed one the module answered it with as a duplicate,
    // or null when it lists nothing (refused, or never given to the module).
    const void *answer(const Record &record) const;
    // The xnet an xnetgroup record is filed under, or null.
    xnet_entry *filed_under(const Record &xnetgroup) const;
    // The xnetgroups bound to a port group, found without a walk of them all.
    const std::unordered_set<const xnetgroup_entry *> &bound_to(const portgroup_entry *group) const;

    // What a running host (hosts.h) does to the model as records change,
    // an operation each. The records must outlive the model.

    // Each creates from one record with the module, logging under `cause`,
    // and returns what the module handed back: the new entry, the one
    // listed already for a duplicate, or null when it refused the record
    // (then counted as refused).
    portgroup_entry *create_portgroup(const Record &record, const std::string &cause);
    xnet_entry *create_xnet(const Record &record, const std::string &cause);
    xnetgroup_entry *create_xnetgroup(const Record &record, xnet_entry *parent,
                                      const std::string &cause);
    // Links `entry`, of `list`, before `before`, another entry of it.
    void move_before(list_head *list, void *entry, void *before);
    void test_native_vlan(xnet_entry *xnet, const std::string &cause);

    // Each unlinks and frees; an xnetgroup also lowers its port group's
    // xnetgroup_count, which the module only ever raises. An xnet takes its
    // xnetgroups with it; a host releases a port group's bound xnetgroups
    // first, as their pointer to it would dangle. The records the module
    // answered with a released xnet or port group lose their answer: they
    // are returned.
    void release_xnetgroup(xnetgroup_entry *group);
    RecordList release_xnet(xnet_entry *xnet);
    RecordList release_portgroup(portgroup_entry *group);

    // The entry a record created, while it is listed, or null.
    void *entry_of(const Record &record) const;
    // Whether a port-group or xnet record was given to the module and its
    // answer (its entry, the one it duplicates, or a refusal) stands.
    bool has_answer(const Record &record) const;
    // Forgets a record that leaves the configuration without an entry of
    // its own (a duplicate, a refusal, an xnetgroup turned away): nothing
    // else would, and the record may not outlive the change.
    void forget(const Record &record);
    // The xnetgroup records without an entry: refused by the module, or
    // skipped without an xnet to file under. A change that lists their port
    // group or files their xnet's pathname may take them.
    const std::unordered_set<const Record *> &turned_away() const { return turned_away_; }

    // Files the xnet record's pathname under the entry the module handed
    // back for it; of two records with one pathname, the first keeps its
    // place.
    void file_xnet(const Record &record);
    // Files pathnames under the xnet the module answered an xnet record
    // with (or under none, when it refused it), each unless it is filed.
    void file_names(const std::vector<std::string> &names, const Record &xnet_record);
    // The pathnames filed under an xnet, and where one is filed (or null).
    std::vector<std::string> names_filed_under(const xnet_entry *xnet) const;
    xnet_entry *filed_under(const std::string &name) const;
    // Forgets where one pathname is filed, or every one.
    void unfile(const std::string &name);
    void unfile_all();

    // Port records of each kind, to count them or make room for more: a
    // list of a million that grows by one record at a time would double,
    // copied.
    struct PortRecordCounts {
        size_t subports = 0, port_protects = 0, subport_protects = 0;
        void count(Table table); // one more of its kind, if a port record's
    };
    // Whether port records are kept: a model of the lists alone takes none.
    bool keeps_port_records() const { return parts_ != Parts::lists; }
    PortRecordCounts port_records_held() const;
    void reserve(const PortRecordCounts &more);
    void decode(const Record &record, const std::string &cause);
    // A port record written in a model whose port records stand in the
    // order of their lines (a store's rows): `before` released (unless null),
    // `after` decoded where its line puts it (unless null), in place when
    // both share a line. False, changing nothing, when the model keeps no
    // port records, or `before` is not where its line says.
    bool replace_port_record(const Record *before, const Record *after, const std::string &cause);
    // Frees the port records `goes` picks, keeping the others in order.
    void release_port_records(const std::function<bool(const Record &)> &goes);
    // Those held beyond `kept` were decoded since, both runs in the order of
    // `configuration`: one walk through it merges them.
    void merge_port_records(const PortRecordCounts &kept, const RecordList &configuration);

    // Since the start: entries created and released, records the module
    // refused, and xnetgroup records a running host had no xnet to file under.
    struct Tally {
        size_t created = 0, released = 0;
        int refused = 0, skipped = 0;
    };
    const Tally &tally() const { return tally_; }
    void skip_xnetgroup(const Record &record) {
        turned_away_.insert(&record);
        tally_.skipped++;
    }

  private:
    template <typename Records> void build_from(const Records &records, Parts parts);
    // The same, logging under a cause: a change's place or the record itself.
    template <typename Cause> void decode_under(const Record &record, const Cause &cause);
    // Calls apply with the port records of a table and what frees one.
    template <typename Apply> bool on_port_records(Table table, Apply apply);
    RecordList forget_answers(const void *entry);
    xnet_entry *xnet_answering(const Record &xnet_record) const;
    void file_name(const std::string &name, xnet_entry *xnet);
    void start();

    const Module &module_;
    bool built_ = false;
    Parts parts_ = Parts::everything; // a model of the lists alone never takes port records
    std::unordered_map<const void *, const Record *> origins_;
    // A record and the entry it created, while that is listed.
    std::unordered_map<const Record *, void *> entry_of_;
    // A port-group or xnet record and what the module handed back for it:
    // its own entry, the listed one it duplicates, or null when refused.
    std::unordered_map<const Record *, void *> answer_;
    // And back: the records each listed entry answers, its own included.
    std::unordered_map<const void *, RecordList> answered_;
    // An xnet record's pathname: the xnet its xnetgroups are filed under, its
    // own or, for a duplicate, the one the module handed back.
    std::unordered_map<std::string, xnet_entry *> filed_under_;
    // And back: the names filed under each xnet, to forget them with it.
    std::unordered_map<const xnet_entry *, std::vector<std::string>> filed_names_;
    std::unordered_set<const Record *> turned_away_;
    std::unordered_map<const portgroup_entry *, std::unordered_set<const xnetgroup_entry *>> bound_;
    LargeVector<Subport> subports_;
    LargeVector<PortProtect> port_protects_;
    LargeVector<SubportProtect> subport_protects_;
    Tally tally_;
};

// A port record decoded on its own, as a model decodes it, for a comparison:
// the member of its table filled, the others zero. A subport owns its
// pathname until the value goes; a failed decoding leaves `decoded` false.
class DecodedPortRecord {
  public:
    DecodedPortRecord(const Module &module, const Record &record);
    ~DecodedPortRecord();
    DecodedPortRecord(const DecodedPortRecord &) = delete;
    DecodedPortRecord &operator=(const DecodedPortRecord &) = delete;

    const Module &module;
    const Record &record;
    bool decoded = false;
    subport_data subport{};
    port_protect_data port_protect{};
    subport_protect_data subport_protect{};
};

// The port group number test_and_set_native_vlan is given for an xnet: the
// number of the group its first xnetgroup binds, or -1 when it has none.
int32_t native_vlan_portgroup(const xnet_entry &xnet);

#endif
