!!TS1.0
# Unit 0 samples the signed normal map.
texture_2d();
