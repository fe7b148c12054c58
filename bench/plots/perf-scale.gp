# Write time against the number of trackers written at once, one line per link.
# gnuplot -e "points='docs/bench-points.txt'" -e "svg='docs/perf-scale.svg'" bench/plots/perf-scale.gp
set terminal svg size 720,440 dynamic enhanced font "DejaVu Sans,12" background rgb "white"
set output svg
set title "Write time against trackers written at once"
set xlabel "trackers at once"
set ylabel "wall time of the round, s"
set logscale x 2
set logscale y 10
set xrange [0.8:160]
set grid xtics ytics mytics
set key top left box opaque
series(s) = sprintf("< grep '^%s ' '%s'", s, points)
plot series("scale-ftdi") using 2:3 with linespoints lw 2 pt 7 title "FTDI (embedded image, map 7)", \
     series("scale-usb") using 2:3 with linespoints lw 2 pt 5 title "maker USB (embedded image, map 7)", \
     series("scale-com") using 2:3 with linespoints lw 2 pt 9 title "COM at 115200 baud (128 KiB image)"
