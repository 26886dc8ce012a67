// The files this program writes: each appears whole or not at all.
#ifndef CONFMODEL_HOST_OUTPUT_FILES_H
#define CONFMODEL_HOST_OUTPUT_FILES_H

#include "input/records.h"

#include <memory>
#include <string>
#include <vector>

// A file written through a temporary file beside its target, named
// "TARGET.unfinished-XXXXXX" so that one a killed run leaves says what it is,
// and the next NewFile for the same target removes it. The temporary file is
// removed unless committed, also when SIGINT, SIGTERM or SIGHUP ends the
// run. Committing syncs it and moves it into place.
class NewFile {
  public:
    // create: the target must not exist, and commit() never replaces one.
    // replace: the target, if it exists, must be a regular file (a symbolic
    // link is followed): commit() replaces it.
    enum class Mode { create, replace };

    // Throws Failure with the system's reason when the target is refused or
    // no temporary file can be made beside it.
    NewFile(const std::string &target, Mode mode);
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // The temporary file, to be written by path (its descriptor is closed).
    const std::string &path() const { return temporary_; }
    // The target as it was named, for messages.
    const std::string &name() const { return name_; }
    // Syncs the file and moves it to the target, then syncs the directory.
    // False when creating and the target appeared meanwhile: the temporary
    // file is removed and nothing else touched. Throws Failure on an error.
    bool commit();

  private:
    std::string name_, target_, temporary_;
    int fd_ = -1; // the temporary file, locked while this run may finish it
    Mode mode_;
    bool committed_ = false;
};

// Where a dump is to be written: made ready before any work, so that a target
// this would not write (a store file, a directory, a device, a folder that
// cannot hold the temporary file) is refused before anything is read or
// committed. Null for "-", standard output.
std::unique_ptr<NewFile> dump_target(const std::string &path);
// Writes the records as a dump, one a line, to the target (null: standard
// output), and commits it.
void write_dump(NewFile *target, const RecordList &records);

#endif
