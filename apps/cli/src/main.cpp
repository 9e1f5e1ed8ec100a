// razavovivodidi: parse one command, run it, report the first error.
#include <iostream>
#include <variant>

#include "cli.hpp"
#include "dispatch.hpp"

int main(int argc, char** argv) {
    auto parsed = razavovivodidi::cli::parse_command_line(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;

    const auto result = razavovivodidi::dispatch(std::get<razavovivodidi::cli::Cli>(parsed));
    if (!result) {
        // std::cerr is tied to std::cout: a report printed before the error
        // is flushed first.
        std::cerr << "error: " << result.error() << '\n';
        return 1;
    }
    return 0;
}
