#include <QApplication>

// Bare entry until the start-up sequence is wired in.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return 0;
}
