# The benchmark table as a bar chart: one bar per judged ratio, green when
# its goal is met and red when not, the goal drawn as a black mark on the bar.
#   gnuplot -e "data='chart.dat'; png='bench.png'" bench/chart.gp
set terminal pngcairo size 1400,760 font "sans,10"
set output png
set datafile separator "\t"
set title "./dev bench: each figure over its baseline from the same run (bar) and its goal (black mark)\n" . \
          "checksum: at least the goal; installation, packing, memory, size: at most. Green: met, red: missed."
set style fill solid 0.8 noborder
set boxwidth 0.6
set logscale y 2
set yrange [0.125:32]
set ytics ("1/8" 0.125, "1/4" 0.25, "1/2" 0.5, "1" 1, "1.25" 1.25, "1.5" 1.5, "2" 2, "4" 4, "5" 5, "8" 8, "16" 16, "32" 32)
set grid ytics
set ylabel "ratio (log scale)"
set xtics rotate by -35 left noenhanced
set bmargin 12
set rmargin 16
set key off
plot data using 0:2:($4 > 0 ? 0x2ca02c : 0xd62728):xtic(1) skip 1 with boxes lc rgb variable, \
     data using 0:3:(0.35) skip 1 with xerrorbars pt -1 lw 3 lc rgb "black", \
     data using 0:2:(sprintf("%.2f", $2)) skip 1 with labels offset 0,0.8 font "sans,9"
