ln -s /dev/full b.en
