#pragma once

// Passwords in form files. A server's Password is written in clear, so a
// form holding one is written readable and writable by its owner only, or,
// as the user chooses, without the password (the program then asks for it
// or takes it from the command line). Writing goes through a temporary file
// renamed over the old one, so a failed save leaves the old form whole.
// Main thread.

#include <string>
#include <vector>

namespace tessel::designer {

// The components of the form text that hold a non-empty Password.
std::vector<std::string> PasswordHolders(const std::string& form_text);
// The form text without its components' Password lines.
std::string WithoutPasswords(const std::string& form_text);
// Writes text to file_name; owner_only makes it mode 0600 before any byte
// is written. Raises EWriteError naming the file when it cannot be written.
void WriteFormFile(const std::string& file_name, const std::string& text, bool owner_only);

}  // namespace tessel::designer
