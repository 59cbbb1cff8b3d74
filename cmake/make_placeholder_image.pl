#!/usr/bin/perl
# Writes the placeholder firmware image that builds without a real image
# embed: 2,097,152 deterministic bytes, different in every 4-byte word so that
# a misplaced or repeated piece shows, with the revision "GXB4LTMW" at
# offsets 0x42 to 0x49. It is not firmware and no drive must ever run it.
#
#   perl make_placeholder_image.pl <output file>
use strict;
use warnings;

my $size = 2097152;
my $path = shift or die "usage: $0 <output file>\n";

my $image = '';
my $state = 0x4B4F4131;    # xorshift32, fixed seed
for (my $word = 0; $word < $size / 4; ++$word) {
  $state ^= ($state << 13) & 0xFFFFFFFF;
  $state ^= $state >> 17;
  $state ^= ($state << 5) & 0xFFFFFFFF;
  $image .= pack('V', $state ^ $word);
}
substr($image, 0, 32) = pack('a32', 'KOA PLACEHOLDER FIRMWARE IMAGE');
substr($image, 0x42, 8) = 'GXB4LTMW';

my $temporary = "$path.partial";
open(my $out, '>:raw', $temporary) or die "cannot write $temporary: $!\n";
print $out $image or die "cannot write $temporary: $!\n";
close($out) or die "cannot write $temporary: $!\n";
rename($temporary, $path) or die "cannot rename $temporary to $path: $!\n";
