// evtable: writes a period of an iCalendar calendar as an HTML document of
// month tables on standard output. main reads as the run goes: the command
// line, the calendar, its zones made safe, the occurrences collected and
// sorted, the output opened, the document printed, the output finished.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <libical/ical.h>

#include "renderer/command_line.h"
#include "renderer/document.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/period_prescan.h"
#include "renderer/render_settings.h"
#include "renderer/zone_rules.h"
#include "shared/calendar_input.h"
#include "shared/fatal.h"
#include "shared/libical_facts.h"
#include "shared/output_file.h"
#include "shared/usage.h"

// -o FILE is checked before the input is read, so that a missing folder or
// an output that is not a regular file fails at once.
static output_file check_document_output(const render_settings *settings)
{
    output_file output{};
    output.folder = output.fd = -1;
    if (settings->output_path != nullptr)
        output = check_output_file(settings->output_path, STATUS_EVTABLE_WRITE);
    return output;
}

// The writers keep writing to stdout: with -o its file descriptor becomes
// the temporary file's. Nothing has been written to stdout yet.
static void open_document_output(output_file *output)
{
    if (output->path.empty())
        return;
    create_temporary_file(output);
    if (dup2(output->fd, STDOUT_FILENO) < 0)
        fail_on_output(output, errno);
}

// Everything written goes through stdout's buffer; a write that failed on the
// way, or the last flush, makes the run a failure. With -o the complete
// document then replaces the file.
static void finish_output(output_file *output)
{
    bool failed = fflush(stdout) != 0 || ferror(stdout);
    if (output->path.empty()) {
        if (failed)
            report_and_exit(STATUS_EVTABLE_WRITE, "Write error: %s\n", strerror(errno));
        return;
    }
    if (failed)
        fail_on_stream_write(output);
    commit_output_file(output);
}

// Reads the calendar; without EVTABLE_WHOLE_PARSE (for the tests that
// compare both) only what the period needs of it reaches libical's parser.
static parsed_calendar parse_input(render_settings *settings)
{
    if (getenv("EVTABLE_WHOLE_PARSE") == nullptr)
        settings->input = open_period_input(settings->input, settings->period_start,
                                            period_end(settings), nullptr);
    return parse_calendar_stream(settings->input, settings->input_name);
}

int main(int argc, char **argv)
{
    set_program_name("evtable", STATUS_EVTABLE_NO_MEMORY);
    set_libical_error_mode();
    // A file-size limit makes a write fail and be reported, not kill the run.
    signal(SIGXFSZ, SIG_IGN);
    set_zone_directory(const_cast<char *>(ZONE_DIRECTORY));
    keep_first_zone_definitions(true);

    render_settings settings{};
    read_command_line(argc, argv, &settings);
    output_file output = check_document_output(&settings);
    settings.today = icaltime_current_time_with_zone(settings.display_zone);

    parsed_calendar calendar = parse_input(&settings);
    clean_zones(calendar.root, period_end(&settings));
    collect_occurrences(calendar.root, &settings.selection, settings.display_zone,
                        settings.period_start, settings.period_duration);
    sort_occurrences();
    open_document_output(&output);
    print_document(&settings, occurrence_records());
    finish_output(&output);

    icalcomponent_free(calendar.root);
    icalparser_free(calendar.parser);
    return STATUS_DONE;
}
