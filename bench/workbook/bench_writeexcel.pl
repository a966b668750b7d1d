#!/usr/bin/perl
# The workbook benchmark's cells written with Spreadsheet::WriteExcel.
use strict;
use warnings;
use utf8;
use Spreadsheet::WriteExcel;
use Time::HiRes qw(time);

my ($rows, $columns) = (65535, 20);

sub cell_text {
    my ($k) = @_;
    return sprintf("记录%d号 record-%d", $k, $k) if $k % 2 == 0;
    return sprintf("status-%d", $k % 97) if int($k / 2) % 2 == 0;
    return sprintf("状态%d", $k % 89);
}

sub peak_kib {
    open(my $fh, '<', '/proc/self/status') or return -1;
    while (<$fh>) { return $1 if /^VmHWM:\s+(\d+)/; }
    return -1;
}

my $start = time;
my $book = Spreadsheet::WriteExcel->new($ARGV[0]) or die "cannot create $ARGV[0]: $!";
my $sheet = $book->add_worksheet('Sheet1');
for my $r (0 .. $rows - 1) {
    for my $c (0 .. $columns - 1) {
        $sheet->write_string($r, $c, cell_text($r * $columns + $c));
    }
}
my $written = time - $start;
$book->close() or die "cannot save $ARGV[0]";
my $seconds = time - $start;
my $cells = $rows * $columns;
printf("Spreadsheet::WriteExcel: %d cells in %.3f s (%.3f s writing, %.3f s saving): %.0f cells/s, "
     . "peak memory %d KiB\n", $cells, $seconds, $written, $seconds - $written, $cells / $seconds, peak_kib());
printf("figure\tSpreadsheet::WriteExcel\tworkbook of 65,535 x 20 text cells: seconds\t%.2f\n", $seconds);
printf("figure\tSpreadsheet::WriteExcel\tworkbook: cells per second\t%.0f\n", $cells / $seconds);
printf("figure\tSpreadsheet::WriteExcel\tworkbook: peak memory, MiB\t%.0f\n", peak_kib() / 1024);
