#!/usr/bin/perl
# Reads pixels of a screenshot (binary PPM, as `convert shot.png ppm:-` writes it) for the window
# checks. Colours are "R,G,B"; rectangles are X0 Y0 X1 Y1 with X1 and Y1 excluded.
#   pixels.pl FILE at X Y                   -> "R,G,B"
#   pixels.pl FILE find R,G,B               -> "X Y" of the first such pixel, row by row, or "none"
#   pixels.pl FILE column X Y0 Y1 R,G,B     -> the first Y from Y0 down with that colour, or "none"
#   pixels.pl FILE count X0 Y0 X1 Y1 R,G,B  -> how many pixels have that colour
#   pixels.pl FILE glyphs X0 Y0 X1 Y1 R,G,B -> "RUNS DISTINCT WIDTH": runs of columns inked in that
#       colour (one a glyph), how many of them differ in shape, and their mean width (rounded)
use strict;
use warnings;

my ($file, $cmd, @args) = @ARGV;
die "usage: pixels.pl FILE COMMAND ARGS...\n" unless defined $cmd;
open(my $fh, '<:raw', $file) or die "cannot read $file\n";
my $data = do { local $/; <$fh> };
close $fh;
# Header: P6, width, height, maximum, separated by white space and "#" comments to the line end.
$data =~ s/\AP6((?:\s+|#[^\n]*\n)+)(\d+)((?:\s+|#[^\n]*\n)+)(\d+)((?:\s+|#[^\n]*\n)+)(\d+)\s//s
    or die "$file is not a binary PPM\n";
my ($W, $H, $max) = ($2, $4, $6);
die "$file: 16-bit PPM\n" if $max > 255;

sub px {
    my ($x, $y) = @_;
    return "-1,-1,-1" if $x < 0 || $y < 0 || $x >= $W || $y >= $H;
    return join(",", unpack("C3", substr($data, 3 * ($y * $W + $x), 3)));
}

sub norm { my @c = split /,/, shift; return join(",", map { $_ + 0 } @c) }

if ($cmd eq 'at') {
    print px(@args), "\n";
} elsif ($cmd eq 'find') {
    my $want = pack("C3", split /,/, $args[0]);
    my $i = 0;
    while (($i = index($data, $want, $i)) >= 0) {
        if ($i % 3 == 0) {
            my $p = $i / 3;
            print $p % $W, " ", int($p / $W), "\n";
            exit 0;
        }
        $i++;
    }
    print "none\n";
} elsif ($cmd eq 'column') {
    my ($x, $y0, $y1, $c) = @args;
    $c = norm($c);
    for my $y ($y0 .. $y1 - 1) {
        if (px($x, $y) eq $c) { print "$y\n"; exit 0 }
    }
    print "none\n";
} elsif ($cmd eq 'count') {
    my ($x0, $y0, $x1, $y1, $c) = @args;
    $c = norm($c);
    my $n = 0;
    for my $y ($y0 .. $y1 - 1) {
        for my $x ($x0 .. $x1 - 1) { $n++ if px($x, $y) eq $c }
    }
    print "$n\n";
} elsif ($cmd eq 'glyphs') {
    my ($x0, $y0, $x1, $y1, $c) = @args;
    $c = norm($c);
    my (@shapes, @widths);
    my ($shape, $width) = ("", 0);
    for my $x ($x0 .. $x1) {
        my ($col, $ink) = ("", 0);
        if ($x < $x1) {
            for my $y ($y0 .. $y1 - 1) {
                my $on = px($x, $y) eq $c;
                $col .= $on ? "#" : ".";
                $ink ||= $on;
            }
        }
        if ($ink) {
            $shape .= "$col|";
            $width++;
        } elsif ($width) {
            push @shapes, $shape;
            push @widths, $width;
            ($shape, $width) = ("", 0);
        }
    }
    my %distinct = map { $_ => 1 } @shapes;
    my $sum = 0;
    $sum += $_ for @widths;
    printf "%d %d %d\n", scalar(@shapes), scalar(keys %distinct), @widths ? int($sum / @widths + 0.5) : 0;
} else {
    die "unknown command $cmd\n";
}
