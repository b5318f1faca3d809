// korvane-xpm2png XPM PNG: converts one of the program's icon pictures for the desktop's icon theme.
// A build step only; it is not installed.
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvane-xpm2png XPM PNG\n");
        return 2;
    }
    QImage image(QString::fromLocal8Bit(argv[1]), "XPM");
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "korvane-xpm2png: cannot convert %s to %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
