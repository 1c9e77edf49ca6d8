// The printer application's system: made by papplMainloop's system
// callback from the server's -o options, with its own state file and spool
// folder, the huecl drivers, Ghostscript for PDF and PostScript, and
// DNS-SD only where a DNS-SD daemon answers.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace huecl::app {

// What papplMainloop's caller knows that its system callback does not: the
// callback also makes the system of sub-commands that only read it (such
// as drivers), which must not take the server's port.
struct SystemContext {
    bool serving = false;
};

// papplMainloop's system callback, data a SystemContext. Server options
// (-o NAME=VALUE):
//   server-name=HOST    listen on HOST's addresses only and name it in URIs
//   server-port=PORT    the IPP port (default: PAPPL's choice)
//   log-file=FILE       "-" for standard error (default: syslog)
//   log-level=LEVEL     fatal, error, warn, info or debug
//   dnssd=on|off|auto   advertise printers (auto: when a daemon answers)
//   max-image-size=WxH  the largest JPEG or PNG printed (default 16384x16384)
//   admin-group=GROUP, auth-service=SERVICE as for any PAPPL application
pappl_system_t* makeSystem(int optionCount, cups_option_t* options, void* data);

// Whether a DNS-SD daemon (Avahi) answers on its socket.
bool dnssdDaemonAnswers();

// The largest image a "WIDTHxHEIGHT" value allows; false for a bad value.
bool parseImageSize(const std::string& text, int& width, int& height);

}  // namespace huecl::app
