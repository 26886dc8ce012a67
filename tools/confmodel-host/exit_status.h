// The exit statuses of every command. A script tells from the status alone
// whether a store file was changed: only 0, 3 and 4 follow a change, and then
// always.
#ifndef CONFMODEL_HOST_EXIT_STATUS_H
#define CONFMODEL_HOST_EXIT_STATUS_H

enum {
    EXIT_OK = 0,
    EXIT_NO = 1,
    EXIT_BAD = 2,
    EXIT_DIVERGES = 3,
    EXIT_INCOMPLETE = 4,
};

// What each status means, as the help and the manual page say it.
struct ExitMeaning {
    int status;
    const char *meaning;
};
inline constexpr ExitMeaning exit_meanings[] = {
    {EXIT_OK, "done; import created the store, dcbx with status 0, apply --commit, rollback, "
              "confirm and log --keep changed it"},
    {EXIT_NO, "done, nothing changed, and the answer is no: a lookup found nothing, check found "
              "problems, the models differ (diff), the running model diverges from a fresh start "
              "(apply), the module's DCBX status is EBUSY or EINVAL, a dcbx, apply --commit or "
              "rollback that leaves every record as it was (or dcbx on a dump, which keeps "
              "nothing), rollback --dry-run, confirm with nothing awaiting, log --keep that drops "
              "nothing"},
    {EXIT_BAD, "failed, and nothing changed: a usage error; an unreadable, malformed or refused "
               "input (a file that is no store of this version); a module that cannot be loaded; "
               "a store that is locked, read-only or failing (a DCBX call's other statuses); import "
               "onto a file that exists; a commit refused (the module refused a record, the store "
               "changed since it was read, another commit awaits confirmation); a rollback "
               "refused; output that cannot be written"},
    {EXIT_DIVERGES, "apply --commit or rollback committed, and the running model diverges"},
    {EXIT_INCOMPLETE, "a store was changed, but what had to follow failed (the output, or "
                      "--result, could not be written; an overdue commit was rolled back, and confirm came "
                      "too late); the message says what was changed"},
};

#endif
