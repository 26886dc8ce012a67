#include "arguments.h"
#include "commands.h"
#include "input/text.h"
#include "output/files.h"

#include <memory>

namespace {

// A configuration as a dump, to standard output or to a file (never one of
// the run's inputs).
int export_dump(Session &session, const std::string &source, const std::string &file) {
    // Standard output by any of its names: a file to write over it is not.
    const bool to_stdout = file.empty() || file == "-" || file == "/dev/stdout";
    std::unique_ptr<NewFile> target = dump_target(to_stdout ? "-" : file);
    Dump dump = session.read(source);
    if (target && session.is_input(file))
        throw Failure(escaped(file) + ": the configuration being exported; nothing was written");
    write_dump(target.get(), records_of(dump));
    return EXIT_OK;
}

} // namespace

CommandRun declare_export(CLI::App &command) {
    struct Options {
        std::string source, file;
    };
    auto o = std::make_shared<Options>();
    command.description("write a configuration, a store file's for instance, as a dump");
    command.add_option("SOURCE", o->source, "the configuration")->required();
    command.add_option("FILE", o->file,
                       "where to write the dump, whole or not at all (default: standard output)");
    example(command, "export device.db device.jsonl");
    return [o](Session &session) { return export_dump(session, o->source, o->file); };
}
