// The demo's rollback companion, built as "UpdRollBack.exe" on every platform. The
// program starts it from the payload folder after a run in which a download
// succeeded; it leaves "UpdRollBack.ran" beside itself, one line per start, so that a
// demo or a test can see that it ran. It prints a line too, which the program must
// never show. Exit status 0, or 1 when the marker cannot be written.
#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    std::cout << "UpdRollBack: rollback point recorded" << std::endl;
    std::filesystem::path marker = "UpdRollBack.ran";
    if (argc > 0 && argv[0] != nullptr)
        marker = std::filesystem::path(argv[0]).parent_path() / marker;
    std::ofstream out(marker, std::ios::app);
    out << "ran\n";
    out.flush();
    return out ? 0 : 1;
}
