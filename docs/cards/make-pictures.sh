#!/bin/sh
# Redraws the pictures in this folder: `docs/cards/make-pictures.sh build`
# from the project folder, after building scorivo-cli.
set -e
B=${1:-build}
T="$B/模板文件"
D=docs/cards
A85="A,B,C,D,AC,B,,D,A,C,B,BD,A,D,C,B,A,ABD,C,D"
A60="D,C,B,A,BD,A,C,,B,D,A,C,D,B,AC,A,B,C,D,A"
A5="A,E,C,D,BE,A,C,,B,D,E,C,D,B,AC,A,B,C,D,E"
cli() { "$B/scorivo-cli" synth "$@"; }
cli --template "$T/DY标准85题自动AB卷.dat" --out $D/std85-plain.png --upright --paper A --admission 0100000003 \
    --subject 02 --score " 41" --answers "$A85" --seed 3 --noise 1 --blur 0.4
cli --template "$T/DY标准85题自动AB卷.dat" --out $D/std85-hard.png --paper B --admission 020000011 --subject 02 \
    --score " 38" --answers "$A85" --seed 2 --tilt 6,-5 --rotate 4 --light shadow --noise 4 --blur 0.9 --jpeg 75
cli --template "$T/DY标准60题A卷.dat" --out $D/fixedA60-plain.png --upright --admission 0100000012 --subject 03 \
    --answers "$A60" --seed 4 --noise 1 --blur 0.4
cli --template "$T/DY标准60题A卷.dat" --out $D/fixedA60-hard.png --admission 0100000012 --subject 03 \
    --answers "$A60" --seed 5 --tilt -5,6 --rotate -6 --light gradient --noise 3 --blur 0.8 --jpeg 80
cli --template "$T/DY五选项60题含判断题.dat" --out $D/five60-plain.png --upright --admission 0200000005 \
    --subject 05 --score "102" --answers "$A5" --seed 6 --noise 1 --blur 0.4
cli --template "$T/DY五选项60题含判断题.dat" --out $D/five60-hard.png --admission 0200000005 --subject 05 \
    --score "102" --answers "$A5" --seed 7 --tilt 4,4 --rotate 7 --light shadow --noise 3 --blur 0.9 --jpeg 72
cli --template "$T/JD机读卡60题AB卷.dat" --out $D/jd60-red-plain.png --upright --paper A --admission 0100000017 \
    --subject 01 --answers "$A60" --seed 8 --noise 1 --blur 0.4
cli --template "$T/JD机读卡60题AB卷.dat" --out $D/jd60-green-hard.png --paper B --admission 0100000017 \
    --subject 01 --answers "$A60" --seed 9 --tilt -6,3 --rotate -3 --light gradient --noise 3 --blur 0.8 --jpeg 78
