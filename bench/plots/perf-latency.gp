# One FTDI write with the bridge's latency timer tuned by the loader and left at its
# default, beside the floor the tuned write is held to.
# gnuplot -e "points='docs/bench-points.txt'" -e "svg='docs/perf-latency.svg'" bench/plots/perf-latency.gp
set terminal svg size 720,440 dynamic enhanced font "DejaVu Sans,12" background rgb "white"
set output svg
set title "Embedded image to one map-7 tracker behind an FTDI bridge"
set ylabel "wall time, s"
set yrange [0:*]
set style fill solid 0.6 border -1
set boxwidth 0.6
set grid ytics
unset key
series(s) = sprintf("< grep '^%s ' '%s'", s, points)
plot series("ftdi-floor") using (0):3:xtic("floor (tuned)") with boxes lc rgb "#999999", \
     series("ftdi-tuned") using (1):3:xtic("latency timer tuned") with boxes lc rgb "#2a7f2a", \
     series("ftdi-untuned") using (2):3:xtic("left at 16 ms") with boxes lc rgb "#b03030", \
     series("ftdi-tuned") using (1):3:(sprintf("%.1f s", $3)) with labels offset 0,1, \
     series("ftdi-untuned") using (2):3:(sprintf("%.1f s", $3)) with labels offset 0,1, \
     series("ftdi-floor") using (0):3:(sprintf("%.1f s", $3)) with labels offset 0,1
